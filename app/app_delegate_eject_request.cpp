// An eject command: into the ejecting state, the worker half a second later, and back
// to idle with the summary alert.
#include "app/app_delegate.h"
#include "app/app_texts.h"

namespace berth::app {

void AppDelegate::ibac_ejectVolumes(MenuItem* sender) {
  if (statusItem) statusItem->set_enabled(false);
  if (_tf_Msg) _tf_Msg->set_string_value(kEjectingMessage);
  if (_pgs_vol_eject) _pgs_vol_eject->start_animation();
  if (_window_Msg) _window_Msg->set_is_visible(true);
  // The timer does not keep the item alive: a weak reference says whether it still is.
  const std::weak_ptr<MenuItem> item = sender ? sender->weak_from_this() : std::weak_ptr<MenuItem>();
  Timer::scheduled(
      kEjectDelay,
      [self = weak_self()](Timer& timer) {
        if (const auto delegate = self.lock()) (*delegate)->timer_ejectVolumes_CBF(timer);
      },
      item, false);
}

void AppDelegate::timer_ejectVolumes_CBF(Timer& timer) {
  const auto* item = std::any_cast<std::weak_ptr<MenuItem>>(&timer.user_info());
  const std::shared_ptr<MenuItem> held = item ? item->lock() : nullptr;
  if (!held) {
    // Nothing to eject, but the utility must not stay in its ejecting state.
    fn_complete_eject(true, false);
    return;
  }
  thread_ejectVolumes(held.get());
}

void AppDelegate::fn_complete_eject(bool success, bool report) {
  if (statusItem) statusItem->set_enabled(true);
  if (_pgs_vol_eject) _pgs_vol_eject->stop_animation();
  if (_window_Msg) _window_Msg->set_is_visible(false);
  if (!report) return;
  application_.run_critical_alert_panel(localized(kAppTitle), localized(success ? kEjectedSafely : kEjectFailed),
                                        localized(kConfirmButton));
}

}  // namespace berth::app
