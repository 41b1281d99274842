#pragma once
// The application: its activation policy, its delegate (the end of the responder
// chain), the system status bar, the modal alerts it has run and termination. One
// application is current at a time (the one most recently made); model objects report
// their changes to its observers.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/model/observer.h"
#include "app/model/status_bar.h"

namespace berth::app {

class InterfaceObject;

enum class ActivationPolicy { regular = 0, accessory = 1, prohibited = 2 };

inline constexpr int kAlertDefaultReturn = 1;
inline constexpr int kAlertAlternateReturn = 0;
inline constexpr int kAlertOtherReturn = -1;

struct Alert {
  std::string title;
  std::string message;  // shown as it stands: never read as a format
  std::string default_button;
  std::string alternate_button;  // empty: none
  std::string other_button;      // empty: none
  std::string informative = {};  // the smaller text under the message (why it failed); empty: none
};

// Answers a modal alert, as the user would: with kAlertDefaultReturn and the others.
class AlertResponder {
 public:
  virtual ~AlertResponder() = default;
  virtual int respond(const Alert& alert) = 0;
};

class Application {
 public:
  Application();
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  static Application* current();

  ActivationPolicy activation_policy() const { return activation_policy_; }
  void set_activation_policy(ActivationPolicy policy) { activation_policy_ = policy; }
  InterfaceObject* delegate() const { return delegate_; }
  void set_delegate(InterfaceObject* delegate) { delegate_ = delegate; }
  StatusBar& system_status_bar() { return status_bar_; }

  // Sends an action up the responder chain, which ends at the delegate. False when no
  // responder performs it.
  bool send_action(std::string_view selector, MenuItem* sender);

  // A modal critical alert panel; returns the button pressed. Without a responder the
  // alert is answered with its default button.
  int run_critical_alert_panel(std::string title, std::string message, std::string default_button,
                               std::string alternate_button = {}, std::string other_button = {});
  int run_critical_alert_panel(Alert alert);
  const std::vector<Alert>& alerts() const { return alerts_; }
  void set_alert_responder(AlertResponder* responder) { alert_responder_ = responder; }

  void terminate();
  bool is_terminated() const { return terminated_; }

  void add_observer(ModelObserver* observer);
  void remove_observer(ModelObserver* observer);
  void notify(const std::function<void(ModelObserver&)>& event) const;

 private:
  Application* previous_;
  ActivationPolicy activation_policy_ = ActivationPolicy::regular;
  InterfaceObject* delegate_ = nullptr;
  StatusBar status_bar_;
  std::vector<Alert> alerts_;
  AlertResponder* alert_responder_ = nullptr;
  bool terminated_ = false;
  std::vector<ModelObserver*> observers_;
};

// Reports a change to the current application's observers, if there is one.
void notify_observers(const std::function<void(ModelObserver&)>& event);

}  // namespace berth::app
