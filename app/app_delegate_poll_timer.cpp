// The poll timer. Nothing in the utility starts it; when something does, each tick asks
// for a refresh, which is queued onto the main run loop so that the dock table and the
// status menu are only ever touched there.
#include "app/app_delegate.h"
#include "platform/services.h"

namespace berth::app {
namespace {

constexpr double kPollAfterWakeup = 30.0;
constexpr double kPollInterval = 5.0;

}  // namespace

void AppDelegate::fn_enable_tmrs(bool isFromWakeup) {
  syslog_printf(isFromWakeup ? "fn_enable_tmrs: isFromWakeup" : "fn_enable_tmrs: !isFromWakeup");
  fn_enable_timer__pollDevInfo(isFromWakeup ? kPollAfterWakeup : kPollInterval);
}

void AppDelegate::fn_enable_timer__pollDevInfo(double interval) {
  if (tmr_pollDevInfo) {
    tmr_pollDevInfo->invalidate();
    tmr_pollDevInfo = nullptr;
  }
  tmr_pollDevInfo = Timer::scheduled(
      interval,
      [self = weak_self()](Timer&) {
        if (const auto delegate = self.lock()) (*delegate)->timer_pollDevInfo_CBF();
      },
      {}, true);
}

void AppDelegate::fn_disable_tmrs() {
  if (!tmr_pollDevInfo) return;
  syslog_printf("fn_disable_tmrs: pollDevInfo");
  tmr_pollDevInfo->invalidate();
  tmr_pollDevInfo = nullptr;
}

void AppDelegate::timer_pollDevInfo_CBF() {
  RunLoopPort* run_loop = services().run_loop;
  if (!run_loop) return;
  run_loop->perform([self = weak_self()] {
    const auto delegate = self.lock();
    // While an eject runs the status item is disabled and the dock table must hold
    // still, as it does for a menu that cannot be opened.
    if (!delegate || !(*delegate)->statusItem || !(*delegate)->statusItem->is_enabled()) return;
    (*delegate)->thread_pollDevicesInfo();
  });
}

}  // namespace berth::app
