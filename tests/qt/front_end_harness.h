#pragma once
// The application launched with the Qt front end on Qt's offscreen platform: the
// simulated demo machine, the application's real resources, the Qt run loop, and the
// front end presenting it all.
// Alerts are answered as a user would, by pressing their button in the message box,
// and recorded with what the screen showed at that moment.
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "app/model/interface_file.h"
#include "app/qt/desktop_front_end.h"
#include "app/qt/menu_row.h"
#include "app/qt/qt_run_loop.h"
#include "platform/desktop/desktop_resources.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/sim_machine.h"

namespace berth::testing {

// An alert's box as it was shown, "TITLE: TEXT [BUTTON, ...]" and "(window up)" or
// "(window hidden)" for the progress window; and when, on the run loop's clock.
struct SeenAlert {
  std::string shown;
  double at = 0.0;
};

class FrontEndHarness {
 public:
  FrontEndHarness();
  ~FrontEndHarness();

  app::Application& application() { return *application_; }
  app::AppDelegate& delegate() { return *delegate_; }
  qt::DesktopFrontEnd& front_end() { return *front_end_; }
  qt::StatusItemView& status_view() { return *front_end_->view_of(*delegate_->statusItem); }
  qt::StatusMenu& menu() { return status_view().menu(); }
  app::Menu& model_menu() { return *delegate_->statusItem->menu(); }
  qt::QtRunLoop& run_loop() { return run_loop_; }
  sim::SimMachine& machine() { return *machine_; }
  const std::vector<SeenAlert>& alerts() const { return alerts_; }

  // Clicks the tray icon and waits until the menu is on the screen.
  bool open_menu();
  // The model's item with this tag, and its row in the open menu.
  app::MenuItem& item(std::int64_t tag);
  qt::MenuRow& row(std::int64_t tag);
  // Moves the pointer onto the row of the item with this tag; null: out of the menu.
  void point_at(std::optional<std::int64_t> tag);
  void click(std::int64_t tag);
  // Runs the event loop until the status item is enabled again (an eject is over).
  bool run_until_idle(double limit = 5.0);
  // The name of each image in a row's title, in order.
  static std::vector<std::string> images_of(const qt::MenuRow& row);

 private:
  void answer_alert();

  sim::CaptureConsole console_;
  sim::MemorySystemLog log_;
  std::unique_ptr<sim::SimMachine> machine_;
  desktop::DesktopResources resources_;
  qt::QtRunLoop run_loop_;
  std::unique_ptr<ScopedServices> installed_;
  std::unique_ptr<app::Application> application_;
  std::unique_ptr<qt::DesktopFrontEnd> front_end_;
  app::InterfaceLoadResult interface_;
  app::AppDelegate* delegate_ = nullptr;
  QTimer alert_watch_;
  std::vector<SeenAlert> alerts_;
};

}  // namespace berth::testing
