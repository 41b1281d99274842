#include "platform/sim/sim_run_loop.h"

#include <algorithm>

namespace berth::sim {

timer_id_t SimRunLoop::add_timer(double interval, bool repeats, std::function<void()> fire) {
  // A repeating timer with no interval would fire forever without time moving.
  interval = std::max(interval, repeats ? 1e-4 : 0.0);
  const timer_id_t id = next_id_++;
  timers_.emplace(id, Timer{now_ + interval, interval, repeats, next_order_++, std::move(fire)});
  return id;
}

void SimRunLoop::cancel_timer(timer_id_t timer) { timers_.erase(timer); }

timer_id_t SimRunLoop::next_due(double deadline) const {
  timer_id_t best = 0;
  const Timer* best_timer = nullptr;
  for (const auto& [id, timer] : timers_) {
    if (timer.fire_at > deadline) continue;
    if (!best_timer || timer.fire_at < best_timer->fire_at ||
        (timer.fire_at == best_timer->fire_at && timer.order < best_timer->order)) {
      best = id;
      best_timer = &timer;
    }
  }
  return best;
}

void SimRunLoop::fire(timer_id_t id) {
  Timer& timer = timers_.at(id);
  now_ = std::max(now_, timer.fire_at);
  // The callback may cancel this timer or schedule others: work on a copy.
  std::function<void()> callback = timer.fire;
  if (timer.repeats) {
    timer.fire_at += timer.interval;
    timer.order = next_order_++;
  } else {
    timers_.erase(id);
  }
  callback();
}

bool SimRunLoop::run_one_task() {
  if (tasks_.empty()) return false;
  std::function<void()> task = std::move(tasks_.front());
  tasks_.pop_front();
  task();
  return true;
}

void SimRunLoop::run_tasks() {
  while (run_one_task()) {
  }
}

void SimRunLoop::advance(double seconds) {
  const double deadline = now_ + seconds;
  run_tasks();
  while (const timer_id_t id = next_due(deadline)) {
    fire(id);
    run_tasks();
  }
  now_ = std::max(now_, deadline);
}

bool SimRunLoop::run_until(const std::function<bool()>& done, double limit) {
  const double deadline = now_ + limit;
  for (;;) {
    if (done()) return true;
    if (run_one_task()) continue;
    const timer_id_t id = next_due(deadline);
    if (!id) break;
    fire(id);
  }
  // A loop with timers still to come has waited out its limit; an empty one returns at once.
  if (!timers_.empty()) now_ = std::max(now_, deadline);
  return done();
}

}  // namespace berth::sim
