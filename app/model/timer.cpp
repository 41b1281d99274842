#include "app/model/timer.h"

#include "platform/services.h"

namespace berth::app {

Timer::Timer(double interval, Callback callback, std::any user_info, bool repeats)
    : interval_(interval), callback_(std::move(callback)), user_info_(std::move(user_info)), repeats_(repeats) {}

Timer::~Timer() = default;

std::shared_ptr<Timer> Timer::scheduled(double interval, Callback callback, std::any user_info, bool repeats) {
  auto timer = std::make_shared<Timer>(interval, std::move(callback), std::move(user_info), repeats);
  if (RunLoopPort* run_loop = services().run_loop) {
    // The run loop's reference keeps the timer alive while it is scheduled.
    timer->id_ = run_loop->add_timer(interval, repeats, [timer] { timer->fire(); });
  }
  return timer;
}

void Timer::fire() {
  if (!is_valid()) return;
  // A one-shot timer is done once it fires; the run loop has already let it go.
  if (!repeats_) id_ = 0;
  callback_(*this);
}

void Timer::invalidate() {
  if (!is_valid()) return;
  const timer_id_t id = id_;
  id_ = 0;
  if (RunLoopPort* run_loop = services().run_loop) run_loop->cancel_timer(id);
}

}  // namespace berth::app
