#pragma once
// The main run loop on Qt's event loop: timers are precise QTimers, tasks are queued
// calls, and "run until" is a nested QEventLoop that ends when its condition holds
// (checked after every timer and task), or when its time is up. Unlike a simulated
// loop it never runs dry: the user can always act, so only the condition or the limit
// ends a run.
#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/clock_port.h"

class QEventLoop;
class QTimer;

namespace berth::qt {

class QtRunLoop final : public RunLoopPort {
 public:
  QtRunLoop();
  ~QtRunLoop() override;
  QtRunLoop(const QtRunLoop&) = delete;
  QtRunLoop& operator=(const QtRunLoop&) = delete;

  double now() override;
  timer_id_t add_timer(double interval, bool repeats, std::function<void()> fire) override;
  void cancel_timer(timer_id_t timer) override;
  void perform(std::function<void()> task) override;
  bool run_until(const std::function<bool()>& done, double limit) override;

  std::size_t pending_timers() const { return timers_.size(); }

 private:
  struct LaterDeleter {
    void operator()(QObject* object) const;
  };
  struct Run {
    QEventLoop* loop;
    const std::function<bool()>* done;
  };

  void fire(timer_id_t id);
  // Ends every run whose condition now holds.
  void check_runs();

  QObject context_;  // owns the timers and receives the queued tasks
  QElapsedTimer clock_;
  std::map<timer_id_t, std::unique_ptr<QTimer, LaterDeleter>> timers_;
  std::map<timer_id_t, std::function<void()>> callbacks_;
  timer_id_t next_id_ = 1;
  std::vector<Run> runs_;  // innermost last
};

}  // namespace berth::qt
