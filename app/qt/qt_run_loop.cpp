#include "app/qt/qt_run_loop.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <limits>

namespace berth::qt {
namespace {

// QTimer counts whole milliseconds in an int; longer waits are as good as forever.
constexpr double kLongestWait = std::numeric_limits<int>::max() / 1000.0;

int milliseconds(double seconds) {
  return static_cast<int>(std::ceil(std::clamp(seconds, 0.0, kLongestWait) * 1000.0));
}

}  // namespace

void QtRunLoop::LaterDeleter::operator()(QObject* object) const {
  // A timer may be dropped from inside its own timeout: let Qt finish with it first.
  if (object) object->deleteLater();
}

QtRunLoop::QtRunLoop() { clock_.start(); }

QtRunLoop::~QtRunLoop() = default;

double QtRunLoop::now() { return static_cast<double>(clock_.nsecsElapsed()) / 1e9; }

timer_id_t QtRunLoop::add_timer(double interval, bool repeats, std::function<void()> fire) {
  const timer_id_t id = next_id_++;
  // Precise: a coarse timer may fire up to 5 % early, and the eject's half second is a
  // promise that the work starts no sooner.
  std::unique_ptr<QTimer, LaterDeleter> timer(new QTimer(&context_));
  timer->setTimerType(Qt::PreciseTimer);
  timer->setSingleShot(!repeats);
  timer->setInterval(milliseconds(interval));
  QObject::connect(timer.get(), &QTimer::timeout, &context_, [this, id] { this->fire(id); });
  timer->start();
  timers_.emplace(id, std::move(timer));
  callbacks_.emplace(id, std::move(fire));
  return id;
}

void QtRunLoop::cancel_timer(timer_id_t timer) {
  if (const auto it = timers_.find(timer); it != timers_.end()) it->second->stop();
  timers_.erase(timer);
  callbacks_.erase(timer);
}

void QtRunLoop::fire(timer_id_t id) {
  const auto timer = timers_.find(id);
  if (timer == timers_.end()) return;
  // The callback may cancel this timer or add others: run a copy, and forget a
  // one-shot timer before it runs.
  std::function<void()> callback = callbacks_.at(id);
  if (timer->second->isSingleShot()) cancel_timer(id);
  callback();
  check_runs();
}

void QtRunLoop::perform(std::function<void()> task) {
  QMetaObject::invokeMethod(
      &context_,
      [this, task = std::move(task)] {
        task();
        check_runs();
      },
      Qt::QueuedConnection);
}

bool QtRunLoop::run_until(const std::function<bool()>& done, double limit) {
  if (done()) return true;
  QEventLoop loop;
  QTimer deadline;
  deadline.setSingleShot(true);
  deadline.setTimerType(Qt::PreciseTimer);
  QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
  if (limit < kLongestWait) deadline.start(milliseconds(limit));
  runs_.push_back({&loop, &done});
  loop.exec();
  runs_.erase(std::find_if(runs_.begin(), runs_.end(), [&loop](const Run& run) { return run.loop == &loop; }));
  return done();
}

void QtRunLoop::check_runs() {
  for (const Run& run : runs_)
    if ((*run.done)()) run.loop->quit();
}

}  // namespace berth::qt
