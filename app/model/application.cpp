#include "app/model/application.h"

#include <algorithm>

#include "app/model/responder.h"

namespace berth::app {
namespace {

Application*& current_application() {
  static Application* current = nullptr;
  return current;
}

}  // namespace

Application::Application() : previous_(current_application()) { current_application() = this; }

Application::~Application() { current_application() = previous_; }

Application* Application::current() { return current_application(); }

bool Application::send_action(std::string_view selector, MenuItem* sender) {
  auto* responder = dynamic_cast<Responder*>(delegate_);
  return responder && responder->perform_action(selector, sender);
}

int Application::run_critical_alert_panel(std::string title, std::string message, std::string default_button,
                                          std::string alternate_button, std::string other_button) {
  return run_critical_alert_panel(Alert{std::move(title), std::move(message), std::move(default_button),
                                        std::move(alternate_button), std::move(other_button), {}});
}

int Application::run_critical_alert_panel(Alert shown) {
  alerts_.push_back(std::move(shown));
  const Alert alert = alerts_.back();
  notify([&alert](ModelObserver& observer) { observer.alert_shown(alert); });
  return alert_responder_ ? alert_responder_->respond(alert) : kAlertDefaultReturn;
}

void Application::terminate() {
  terminated_ = true;
  notify([](ModelObserver& observer) { observer.application_terminated(); });
}

void Application::add_observer(ModelObserver* observer) { observers_.push_back(observer); }

void Application::remove_observer(ModelObserver* observer) { std::erase(observers_, observer); }

void Application::notify(const std::function<void(ModelObserver&)>& event) const {
  // An observer may add or remove observers while it is told.
  const std::vector<ModelObserver*> observers = observers_;
  for (ModelObserver* observer : observers) event(*observer);
}

void notify_observers(const std::function<void(ModelObserver&)>& event) {
  if (const Application* application = Application::current()) application->notify(event);
}

}  // namespace berth::app
