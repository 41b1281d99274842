#pragma once
// A run loop on a virtual clock: time moves only when the loop is run or advanced, and
// then jumps from one timer to the next, so nothing ever sleeps. Timers due at the same
// moment fire in the order they were scheduled.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>

#include "platform/clock_port.h"

namespace berth::sim {

class SimRunLoop final : public RunLoopPort {
 public:
  double now() override { return now_; }
  timer_id_t add_timer(double interval, bool repeats, std::function<void()> fire) override;
  void cancel_timer(timer_id_t timer) override;
  void perform(std::function<void()> task) override { tasks_.push_back(std::move(task)); }
  bool run_until(const std::function<bool()>& done, double limit) override;

  // Moves the clock forward by `seconds`, running every task and every timer due on the way.
  void advance(double seconds);
  // Runs the queued tasks (and those they queue) without moving the clock.
  void run_tasks();
  std::size_t pending_timers() const { return timers_.size(); }

 private:
  struct Timer {
    double fire_at;
    double interval;
    bool repeats;
    std::uint64_t order;  // scheduling order, for timers due together
    std::function<void()> fire;
  };

  // The timer due first, if it is due by `deadline`; 0 otherwise.
  timer_id_t next_due(double deadline) const;
  void fire(timer_id_t id);
  bool run_one_task();

  double now_ = 0.0;
  timer_id_t next_id_ = 1;
  std::uint64_t next_order_ = 0;
  std::map<timer_id_t, Timer> timers_;
  std::deque<std::function<void()>> tasks_;
};

}  // namespace berth::sim
