// The poll timer: started by nothing, and when started its refresh runs on the main run
// loop, never while an eject holds the dock table.
#include <gtest/gtest.h>

#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;
using Lines = std::vector<std::string>;

class PollTimer : public ::testing::Test {
 protected:
  AppHarness h{app_machine({DockSpec{.usb = {3, std::nullopt, std::nullopt}}}, json::array({mounted("disk3s1", "Data")}))};
  std::size_t scans() { return h.sim().machine().registry().counts().matchings; }
  // The scan's USB walk trace goes to the same log.
  void SetUp() override { h.sim().log().clear(); }
};

TEST_F(PollTimer, NothingStartsIt) {
  EXPECT_EQ(h.delegate().tmr_pollDevInfo, nullptr);
  EXPECT_EQ(h.run_loop().pending_timers(), 0u);
  const std::size_t before = scans();
  h.run_loop().advance(3600);
  EXPECT_EQ(scans(), before);
}

TEST_F(PollTimer, IntervalDependsOnWakeupRestartingReplacesTheTimerAndDisablingSaysSoOnlyWhenOneRuns) {
  h.delegate().fn_disable_tmrs();
  EXPECT_TRUE(h.sim().log().lines().empty());
  h.delegate().fn_enable_tmrs(false);
  ASSERT_TRUE(h.delegate().tmr_pollDevInfo);
  EXPECT_EQ(h.delegate().tmr_pollDevInfo->time_interval(), 5.0);
  EXPECT_TRUE(h.delegate().tmr_pollDevInfo->repeats());
  h.delegate().fn_enable_tmrs(true);
  EXPECT_EQ(h.delegate().tmr_pollDevInfo->time_interval(), 30.0);
  EXPECT_EQ(h.run_loop().pending_timers(), 1u);
  h.delegate().fn_disable_tmrs();
  EXPECT_EQ(h.sim().log().lines(),
            (Lines{"fn_enable_tmrs: !isFromWakeup", "fn_enable_tmrs: isFromWakeup", "fn_disable_tmrs: pollDevInfo"}));
  EXPECT_EQ(h.delegate().tmr_pollDevInfo, nullptr);
  EXPECT_EQ(h.run_loop().pending_timers(), 0u);
}

TEST_F(PollTimer, EachTickRefreshesOnTheMainRunLoop) {
  h.delegate().fn_enable_tmrs(false);
  const std::size_t before = scans();
  h.run_loop().advance(4.9);
  EXPECT_EQ(scans(), before);
  h.run_loop().advance(0.1);
  const std::size_t after_one = scans();
  EXPECT_GT(after_one, before);
  h.run_loop().advance(10.0);
  EXPECT_EQ(scans(), before + 3 * (after_one - before));
}

TEST_F(PollTimer, TheCallbackQueuesTheRefreshInsteadOfRunningItWhereItIsCalled) {
  const std::size_t before = scans();
  h.delegate().timer_pollDevInfo_CBF();
  EXPECT_EQ(scans(), before);
  h.run_loop().run_tasks();
  EXPECT_GT(scans(), before);
}

TEST_F(PollTimer, NoRefreshWhileAnEjectRuns) {
  h.open_menu_lines();
  ASSERT_TRUE(h.headless().choose(0x100));
  const std::size_t before = scans();
  h.delegate().fn_enable_timer__pollDevInfo(0.1);
  h.run_loop().advance(0.3);
  EXPECT_EQ(scans(), before);
  EXPECT_TRUE(h.unmounted().empty());
  h.run_loop().advance(0.2);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Data"})) << "the eject still finds its item";
}

}  // namespace
}  // namespace berth
