// What the Qt front end itself does with the model (whose menu contents and eject rules
// the model tests check): one row per item following it, the pointer and keys routed to
// the model's highlight and choice, the group icons repainted under the pointer, the
// tray's menu withheld while the status item is disabled, and an eject on the screen
// with its progress window and modal alerts.
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <functional>

#include <gtest/gtest.h>

#include "app/app_texts.h"
#include "tests/qt/front_end_harness.h"

namespace berth {
namespace {

using testing::FrontEndHarness;
using Images = std::vector<std::string>;

constexpr std::int64_t kEjectAll = 0x3FF, kAllUSB = 0x4FF, kAllESATA = 0x8FF, kUSBPort1 = 0x100, kUSBPort2 = 0x101;

TEST(StatusMenuView, HasARowFollowingEachModelItemAndATrayWithoutMenuWhileDisabled) {
  FrontEndHarness h;
  EXPECT_EQ(h.status_view().tray().toolTip(), "Vantrel Berthline Utility");
  EXPECT_FALSE(h.status_view().tray().icon().isNull());
  ASSERT_TRUE(h.open_menu());
  const auto& items = h.model_menu().items();
  const QList<QAction*> actions = h.menu().actions();
  ASSERT_EQ(static_cast<std::size_t>(actions.size()), items.size());
  for (std::size_t i = 0; i < items.size(); ++i) {
    const app::MenuItem& item = *items[i];
    QAction* action = actions[static_cast<int>(i)];
    SCOPED_TRACE("item " + std::to_string(i) + " " + item.title());
    EXPECT_EQ(action->isSeparator(), item.is_separator());
    if (item.is_separator()) continue;
    EXPECT_EQ(h.menu().item_for(action), &item);
    const qt::MenuRow* row = h.menu().row_for(item);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(std::tuple(action->isEnabled(), row->isEnabled(), row->toolTip().toStdString()),
              std::tuple(item.is_enabled(), item.is_enabled(), item.tool_tip()));
  }
  EXPECT_EQ(h.row(kUSBPort2).title_layout().texts.at(0).text, "      port 2: Travel");
  EXPECT_EQ(h.menu().action_for(h.item(kUSBPort2))->text(), "port 2: Travel") << "the blanks are layout only";
  h.menu().hide();
  h.delegate().statusItem->set_enabled(false);
  EXPECT_EQ(h.status_view().tray().contextMenu(), nullptr);
  EXPECT_FALSE(h.open_menu());
  h.delegate().statusItem->set_enabled(true);
  EXPECT_EQ(h.status_view().tray().contextMenu(), &h.menu());
  EXPECT_TRUE(h.open_menu());
}

// One open menu, one move after another: the item highlighted, and so the one group
// command whose eject sign is the "-w" look.
TEST(StatusMenuView, OnlyTheGroupCommandUnderThePointerShowsItsHighlightedIcon) {
  const auto point = [](std::optional<std::int64_t> tag) { return [tag](FrontEndHarness& h) { h.point_at(tag); }; };
  const std::tuple<const char*, std::function<void(FrontEndHarness&)>, std::optional<std::int64_t>> steps[] = {
      {"onto eject all", point(kEjectAll), kEjectAll},   {"onto all eSATA", point(kAllESATA), kAllESATA},
      {"onto a disabled port", point(kUSBPort1), {}},    {"onto all USB", point(kAllUSB), kAllUSB},
      {"out of the menu", point(std::nullopt), {}},      {"onto eject all", point(kEjectAll), kEjectAll},
      {"the down key", [](FrontEndHarness& h) { QTest::keyClick(&h.menu(), Qt::Key_Down); }, kAllUSB},
      {"closing the menu", [](FrontEndHarness& h) { h.menu().hide(); }, {}},
  };
  const std::pair<std::int64_t, Images> groups[] = {
      {kEjectAll, {"unit_1", "eject"}}, {kAllUSB, {"eject_USB"}}, {kAllESATA, {"eject_eSATA"}}};
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  for (const auto& [name, act, highlighted] : steps) {
    SCOPED_TRACE(name);
    act(h);
    EXPECT_EQ(h.model_menu().highlighted_item(), highlighted ? &h.item(*highlighted) : nullptr);
    for (const auto& [tag, images] : groups) {
      Images expected = images;
      if (highlighted == tag) expected.back() += "-w";
      EXPECT_EQ(FrontEndHarness::images_of(h.row(tag)), expected) << "row " << tag;
      EXPECT_EQ(h.row(tag).is_highlighted(), highlighted == tag) << "row " << tag;
    }
  }
  EXPECT_FALSE(h.model_menu().is_open());
}

// On the demo machine, eject all unmounts Travel, the workspace refuses Archive.
TEST(EjectOnScreen, ProgressWindowAtOnceThenAlertsAsModalBoxesAndTheMenuBack) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  const double chosen_at = h.run_loop().now();
  h.click(kEjectAll);
  EXPECT_FALSE(h.menu().isVisible());
  EXPECT_EQ(h.status_view().tray().contextMenu(), nullptr);
  const qt::WindowView* progress = h.front_end().view_of(*h.delegate()._window_Msg);
  ASSERT_NE(progress, nullptr) << "the progress window was never shown";
  EXPECT_TRUE(progress->isVisible());
  EXPECT_EQ(progress->windowTitle(), "Vantrel Berthline Utility");
  const QLabel* label = progress->label_for(*h.delegate()._tf_Msg);
  const QProgressBar* bar = progress->bar_for(*h.delegate()._pgs_vol_eject);
  ASSERT_TRUE(label && bar);
  EXPECT_EQ(label->text(), "Ejecting volumes. Please wait...");
  EXPECT_EQ(std::pair(bar->minimum(), bar->maximum()), std::pair(0, 0)) << "a running busy indicator";
  EXPECT_TRUE(h.alerts().empty());

  ASSERT_TRUE(h.run_until_idle());
  ASSERT_EQ(h.alerts().size(), 2u);
  EXPECT_EQ(h.alerts()[0].shown, "Vantrel Berthline Utility: Failed to eject volume:Archive [Confirm] (window up)");
  EXPECT_EQ(h.alerts()[1].shown, "Vantrel Berthline Utility: Device eject failed. [Confirm] (window hidden)");
  EXPECT_GE(h.alerts()[0].at - chosen_at, 0.5) << "the eject waits half a second";
  EXPECT_FALSE(progress->isVisible());
  EXPECT_EQ(bar->maximum(), 1) << "the indicator stopped";
  EXPECT_EQ(h.status_view().tray().contextMenu(), &h.menu());
  ASSERT_TRUE(h.open_menu());
  EXPECT_FALSE(h.row(kUSBPort2).isEnabled()) << "the menu opens again with the new state";
}

TEST(EjectOnScreen, TheKeyboardChoosesAPortAndAClickOnQuitEndsTheApplication) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  h.point_at(kEjectAll);
  QTest::keyClick(&h.menu(), Qt::Key_Down);
  QTest::keyClick(&h.menu(), Qt::Key_Down);  // USB port 1 has no volume: skipped
  ASSERT_EQ(h.model_menu().highlighted_item(), &h.item(kUSBPort2));
  QTest::keyClick(&h.menu(), Qt::Key_Return);
  ASSERT_TRUE(h.run_until_idle());
  EXPECT_EQ(h.machine().disks().workspace().unmounted(), std::vector<std::string>{"/Volumes/Travel"});
  ASSERT_TRUE(h.open_menu());
  h.click(app::kQuitTag);
  EXPECT_TRUE(h.application().is_terminated());
  EXPECT_FALSE(h.status_view().tray().isVisible());
}

}  // namespace
}  // namespace berth
