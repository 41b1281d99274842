#include "app/headless_app.h"

#include "app/model/application_main.h"
#include "platform/services.h"

namespace berth::app {

HeadlessApp::HeadlessApp() : application_(std::make_unique<Application>()) {
  interface_ = NSApplicationLaunch(*application_, make_interface_object);
  if (!interface_.loaded) {
    error_ = interface_.error;
    return;
  }
  delegate_ = dynamic_cast<AppDelegate*>(interface_.loaded->application_delegate);
  if (!delegate_ || !delegate_->statusItem) {
    delegate_ = nullptr;
    error_ = "the interface file makes no AppDelegate as the application's delegate";
  }
}

bool HeadlessApp::open_status_menu() { return delegate_->statusItem->open_menu(); }

std::shared_ptr<MenuItem> HeadlessApp::enabled_item(std::int64_t tag) {
  for (const auto& item : status_menu().items())
    if (!item->is_separator() && item->tag() == tag && item->is_enabled()) return item;
  return nullptr;
}

bool HeadlessApp::choose(std::int64_t tag) {
  const auto item = enabled_item(tag);
  return item && status_menu().choose(*item);
}

bool HeadlessApp::run_until_idle(double limit) {
  RunLoopPort* run_loop = services().run_loop;
  if (!run_loop) return delegate_->statusItem->is_enabled();
  return run_loop->run_until([this] { return delegate_->statusItem->is_enabled(); }, limit);
}

}  // namespace berth::app
