#pragma once
// Timers on the main run loop. The run loop holds a scheduled timer until it is
// invalidated, or, for a one-shot timer, until it has fired.
#include <any>
#include <functional>
#include <memory>

#include "platform/clock_port.h"

namespace berth::app {

class Timer {
 public:
  using Callback = std::function<void(Timer&)>;

  // Schedules a timer on the main run loop; it fires after `interval` seconds (and
  // every `interval` seconds after that when `repeats`). Without a run loop the timer
  // is made but never fires.
  static std::shared_ptr<Timer> scheduled(double interval, Callback callback, std::any user_info, bool repeats);

  Timer(double interval, Callback callback, std::any user_info, bool repeats);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  void invalidate();
  bool is_valid() const { return id_ != 0; }
  double time_interval() const { return interval_; }
  bool repeats() const { return repeats_; }
  const std::any& user_info() const { return user_info_; }

 private:
  void fire();

  double interval_;
  Callback callback_;
  std::any user_info_;
  bool repeats_;
  timer_id_t id_ = 0;
};

}  // namespace berth::app
