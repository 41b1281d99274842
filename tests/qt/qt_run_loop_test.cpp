// The main run loop on Qt's event loop: timers fire on time and only as scheduled,
// tasks run in order at the next turn, and a run ends when its condition holds (checked
// after each timer and task) or its time is up.
#include <gtest/gtest.h>

#include <vector>

#include "app/qt/qt_run_loop.h"

namespace berth::qt {
namespace {

TEST(QtRunLoop, TimersFireNoSoonerThanAskedAndOnlyAsScheduled) {
  QtRunLoop loop;
  const double start = loop.now();
  std::vector<double> fired;
  bool cancelled_fired = false;
  int repeats = 0;
  timer_id_t repeating = 0;
  loop.add_timer(0.2, false, [&] { fired.push_back(loop.now() - start); });
  loop.cancel_timer(loop.add_timer(0.05, false, [&] { cancelled_fired = true; }));
  repeating = loop.add_timer(0.02, true, [&] {
    if (++repeats == 3) loop.cancel_timer(repeating);
  });
  EXPECT_TRUE(loop.run_until([&] { return !fired.empty(); }, 2.0));
  EXPECT_FALSE(loop.run_until([] { return false; }, 0.3));
  ASSERT_EQ(fired.size(), 1u) << "a one-shot timer fires once";
  EXPECT_GE(fired[0], 0.2);
  EXPECT_EQ(repeats, 3) << "a repeating timer fires until cancelled";
  EXPECT_FALSE(cancelled_fired);
  EXPECT_EQ(loop.pending_timers(), 0u) << "fired one-shot and cancelled timers are forgotten";
}

TEST(QtRunLoop, TasksRunInOrderAtTheNextTurnAndARunEndsWhenDoneOrAtItsLimit) {
  QtRunLoop loop;
  std::vector<int> order;
  loop.perform([&] { order.push_back(1); });
  loop.perform([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty()) << "nothing runs before the loop turns";
  EXPECT_TRUE(loop.run_until([&] { return order.size() == 2; }, 5.0));
  EXPECT_EQ(order, (std::vector<int>{1, 2}));
  const double start = loop.now();
  EXPECT_FALSE(loop.run_until([] { return false; }, 0.1));
  EXPECT_GE(loop.now() - start, 0.1);
  EXPECT_LT(loop.now() - start, 2.0);
  EXPECT_TRUE(loop.run_until([] { return true; }, 0.0)) << "a condition that holds ends a run at once";
}

TEST(QtRunLoop, AnInnerRunEndsOnItsOwnConditionAndTheOuterOneGoesOn) {
  QtRunLoop loop;
  bool inner_done = false, outer_done = false, inner_result = false;
  loop.add_timer(0.01, false, [&] {
    loop.add_timer(0.02, false, [&] { inner_done = true; });
    inner_result = loop.run_until([&] { return inner_done; }, 2.0);
    loop.perform([&] { outer_done = true; });
  });
  EXPECT_TRUE(loop.run_until([&] { return outer_done; }, 2.0));
  EXPECT_TRUE(inner_result);
}

}  // namespace
}  // namespace berth::qt
