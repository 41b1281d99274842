#pragma once
// The desktop front end: presents the application's model with Qt and feeds the user's
// actions back to it. It holds no logic of the application: status items become tray
// icons with their menus, windows of the interface file become Qt windows, alerts
// become modal message boxes, and the application's termination ends the main run
// loop (through a task, after which the loop checks whether to end).
#include <map>
#include <memory>
#include <string>

#include "app/model/application.h"
#include "app/model/observer.h"
#include "app/qt/alert_box.h"
#include "app/qt/status_item_view.h"
#include "app/qt/window_view.h"

namespace berth::qt {

class DesktopFrontEnd final : public app::ModelObserver {
 public:
  // Observes `application` and answers its alerts, until destroyed. `machine_note`, when
  // not empty, marks the status item's tool tip and menu (the demo machine).
  explicit DesktopFrontEnd(app::Application& application, std::string machine_note = {});
  ~DesktopFrontEnd() override;
  DesktopFrontEnd(const DesktopFrontEnd&) = delete;
  DesktopFrontEnd& operator=(const DesktopFrontEnd&) = delete;

  void menu_changed(const app::Menu& menu) override;
  void item_changed(const app::MenuItem& item) override;
  void status_item_changed(const app::StatusItem& item) override;
  void window_changed(const app::Window& window) override;
  void text_field_changed(const app::TextField& field) override;
  void indicator_changed(const app::ProgressIndicator& indicator) override;
  void application_terminated() override;

  // The views made so far; null when the model object has none.
  StatusItemView* view_of(const app::StatusItem& item) const;
  WindowView* view_of(const app::Window& window) const;

 private:
  StatusItemView* view_of_menu(const app::Menu* menu) const;

  app::Application& application_;
  std::string machine_note_;
  AlertBoxes alerts_;
  std::map<const app::StatusItem*, std::unique_ptr<StatusItemView>> status_items_;
  std::map<const app::Window*, std::unique_ptr<WindowView>> windows_;
};

}  // namespace berth::qt
