#pragma once
// The main run loop and its clock: timers (one-shot and repeating) and tasks queued for
// the loop's next turn. Everything handed to the loop runs on the loop's own thread.
#include <cstdint>
#include <functional>

namespace berth {

using timer_id_t = std::uint64_t;  // 0 is none

class RunLoopPort {
 public:
  virtual ~RunLoopPort() = default;
  // Seconds since an arbitrary start; never goes back.
  virtual double now() = 0;
  // Fires `fire` after `interval` seconds, and every `interval` seconds after that when
  // `repeats`, until cancelled. A one-shot timer is forgotten once it has fired.
  virtual timer_id_t add_timer(double interval, bool repeats, std::function<void()> fire) = 0;
  virtual void cancel_timer(timer_id_t timer) = 0;
  // Runs `task` on the loop at its next turn.
  virtual void perform(std::function<void()> task) = 0;
  // Runs the loop until `done` holds (checked after every timer and task), nothing is
  // left that could fire, or `limit` seconds have passed. True when `done` held.
  virtual bool run_until(const std::function<bool()>& done, double limit) = 0;
};

}  // namespace berth
