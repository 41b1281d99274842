// Choosing an eject command in the presented menu: the utility goes into its ejecting
// state on the screen (tray disabled, progress window up with its busy bar), the eject
// runs no sooner than half a second later on Qt's event loop, and the alerts come up as
// modal message boxes titled "Vantrel Berthline Utility" with the one button "Confirm".
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <gtest/gtest.h>

#include "tests/qt/front_end_harness.h"

namespace berth {
namespace {

using testing::FrontEndHarness;
using testing::SeenAlert;

constexpr std::int64_t kEjectAll = 0x3FF;
constexpr std::int64_t kUSBPort2 = 0x101;
const std::vector<std::string> kTravel{"/Volumes/Travel"};

TEST(EjectFlow, APortShowsTheProgressWindowAtOnceThenHidesItAndReportsInAnAlert) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  const double chosen_at = h.run_loop().now();
  h.click(kUSBPort2);
  EXPECT_FALSE(h.menu().isVisible());
  EXPECT_FALSE(h.delegate().statusItem->is_enabled());
  EXPECT_EQ(h.status_view().tray().contextMenu(), nullptr);
  const qt::WindowView* progress = h.front_end().view_of(*h.delegate()._window_Msg);
  ASSERT_NE(progress, nullptr) << "the progress window was never shown";
  EXPECT_TRUE(progress->isVisible());
  EXPECT_EQ(progress->windowTitle(), "Vantrel Berthline Utility");
  const QLabel* message = progress->label_for(*h.delegate()._tf_Msg);
  ASSERT_NE(message, nullptr);
  EXPECT_EQ(message->text(), "Ejecting volumes. Please wait...");
  const QProgressBar* bar = progress->bar_for(*h.delegate()._pgs_vol_eject);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 0) << "a running busy indicator";
  EXPECT_TRUE(h.alerts().empty());

  ASSERT_TRUE(h.run_until_idle());
  EXPECT_EQ(h.machine().disks().workspace().unmounted(), kTravel);
  ASSERT_EQ(h.alerts().size(), 1u);
  const SeenAlert& alert = h.alerts()[0];
  EXPECT_EQ(alert.title, "Vantrel Berthline Utility");
  EXPECT_EQ(alert.text, "Devices ejected safely.");
  EXPECT_EQ(alert.buttons, std::vector<std::string>{"Confirm"});
  EXPECT_FALSE(alert.progress_visible) << "the window is hidden before the summary";
  EXPECT_GE(alert.at - chosen_at, 0.5) << "the eject waits half a second";
  EXPECT_FALSE(progress->isVisible());
  EXPECT_EQ(bar->maximum(), 1) << "the indicator stopped";
  EXPECT_TRUE(h.delegate().statusItem->is_enabled());
  EXPECT_EQ(h.status_view().tray().contextMenu(), &h.menu());
  ASSERT_TRUE(h.open_menu());
  EXPECT_FALSE(h.row(kUSBPort2).isEnabled()) << "the menu opens again with the new state";
}

TEST(EjectFlow, AVolumeThatRefusesIsReportedWhileTheWindowIsUpThenTheSummary) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  h.click(kEjectAll);
  ASSERT_TRUE(h.run_until_idle());
  ASSERT_EQ(h.alerts().size(), 2u);
  EXPECT_EQ(h.alerts()[0].text, "Failed to eject volume:Archive");
  EXPECT_TRUE(h.alerts()[0].progress_visible);
  EXPECT_EQ(h.alerts()[1].text, "Device eject failed.");
  EXPECT_FALSE(h.alerts()[1].progress_visible);
  for (const SeenAlert& alert : h.alerts()) {
    EXPECT_EQ(alert.title, "Vantrel Berthline Utility");
    EXPECT_EQ(alert.buttons, std::vector<std::string>{"Confirm"});
  }
}

TEST(EjectFlow, TheKeyboardChoosesAPortToo) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  h.point_at(kEjectAll);
  QTest::keyClick(&h.menu(), Qt::Key_Down);
  QTest::keyClick(&h.menu(), Qt::Key_Down);  // USB port 1 has no volume: skipped
  ASSERT_EQ(h.model_menu().highlighted_item(), &h.item(kUSBPort2));
  QTest::keyClick(&h.menu(), Qt::Key_Return);
  ASSERT_TRUE(h.run_until_idle());
  EXPECT_EQ(h.machine().disks().workspace().unmounted(), kTravel);
}

}  // namespace
}  // namespace berth
