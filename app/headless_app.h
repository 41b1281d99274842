#pragma once
// The application launched without a display, on whatever ports are installed: start-up
// through the interface file exactly as the desktop program does it, then the user's
// gestures as calls (open the status menu, move the highlight, choose an item) and the
// main run loop driven until an eject has finished. berthctl and the tests use it; a
// desktop front end does the same with real events.
#include <cstdint>
#include <memory>
#include <string>

#include "app/app_delegate.h"
#include "app/model/application.h"
#include "app/model/interface_file.h"

namespace berth::app {

class HeadlessApp {
 public:
  HeadlessApp();
  HeadlessApp(const HeadlessApp&) = delete;
  HeadlessApp& operator=(const HeadlessApp&) = delete;

  // False when the interface file could not be loaded; error() says why.
  bool launched() const { return delegate_ != nullptr; }
  const std::string& error() const { return error_; }
  Application& application() { return *application_; }
  AppDelegate& delegate() { return *delegate_; }
  Menu& status_menu() { return *delegate_->statusItem->menu(); }

  // Clicks the status item; false when it is disabled.
  bool open_status_menu();
  // The enabled item of the open status menu with this tag; null when none.
  std::shared_ptr<MenuItem> enabled_item(std::int64_t tag);
  // Chooses the item with this tag in the open status menu; false when no enabled item has it.
  bool choose(std::int64_t tag);
  // Runs the main run loop until the status item is enabled again (an eject is over), at
  // most `limit` seconds of the run loop's clock; false when it did not end.
  bool run_until_idle(double limit);

 private:
  std::unique_ptr<Application> application_;
  InterfaceLoadResult interface_;
  AppDelegate* delegate_ = nullptr;
  std::string error_;
};

}  // namespace berth::app
