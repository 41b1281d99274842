// The status menu as the front end presents it: it mirrors the model item for item,
// is rebuilt from a fresh scan at every opening, swaps the group command's icon for its
// "-w" look under the pointer, and never opens while the status item is disabled.
#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

#include "app/app_texts.h"
#include "platform/services.h"
#include "tests/qt/front_end_harness.h"

namespace berth {
namespace {

using testing::FrontEndHarness;
using Images = std::vector<std::string>;

constexpr std::int64_t kEjectAll = 0x3FF;
constexpr std::int64_t kAllUSB = 0x4FF;
constexpr std::int64_t kAllESATA = 0x8FF;
constexpr std::int64_t kUSBPort1 = 0x100;
constexpr std::int64_t kUSBPort2 = 0x101;

TEST(StatusMenuView, MirrorsTheModelItemForItem) {
  FrontEndHarness h;
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
    EXPECT_EQ(action->isEnabled(), item.is_enabled());
    const qt::MenuRow* row = h.menu().row_for(item);
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->isEnabled(), item.is_enabled());
    EXPECT_EQ(row->toolTip().toStdString(), item.tool_tip()) << "what the pointer shows";
  }
}

TEST(StatusMenuView, ShowsTitlesAsTheModelWritesThem) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kEjectAll)), (Images{"unit_1", "eject"}));
  ASSERT_EQ(h.row(kEjectAll).title_layout().texts.size(), 1u);
  EXPECT_EQ(h.row(kEjectAll).title_layout().texts[0].text, " Eject all volumes ");
  EXPECT_EQ(h.row(kEjectAll).title_layout().texts[0].font.pixelSize(), 14);
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kAllUSB)), (Images{"eject_USB"}));
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kAllESATA)), (Images{"eject_eSATA"}));
  ASSERT_EQ(h.row(kUSBPort2).title_layout().texts.size(), 1u);
  EXPECT_EQ(h.row(kUSBPort2).title_layout().texts[0].text, "      port 2: Travel");
  EXPECT_EQ(h.menu().action_for(h.item(kUSBPort2))->text(), "port 2: Travel");
  EXPECT_TRUE(h.row(kUSBPort2).isEnabled());
  EXPECT_FALSE(h.row(kUSBPort1).isEnabled());
  EXPECT_TRUE(h.row(app::kQuitTag).isEnabled());
}

TEST(StatusMenuView, IsRebuiltFromAFreshScanAtEveryOpening) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  ASSERT_TRUE(h.row(kUSBPort2).isEnabled());
  h.menu().hide();
  // The volume goes away behind the utility's back; the next opening rescans.
  ASSERT_TRUE(services().workspace->unmount_and_eject("/Volumes/Travel"));
  ASSERT_TRUE(h.open_menu());
  EXPECT_FALSE(h.row(kUSBPort2).isEnabled());
  EXPECT_EQ(h.row(kUSBPort2).title_layout().texts[0].text, "      port 2");
  EXPECT_FALSE(h.row(kAllUSB).isEnabled());
}

TEST(StatusMenuView, TheTrayShowsTheToolTipAndTheMenu) {
  FrontEndHarness h;
  EXPECT_EQ(h.status_view().tray().toolTip(), "Vantrel Berthline Utility");
  EXPECT_FALSE(h.status_view().tray().icon().isNull());
  EXPECT_EQ(h.status_view().tray().contextMenu(), &h.menu());
}

TEST(StatusMenuView, ADisabledStatusItemOpensNoMenu) {
  FrontEndHarness h;
  h.delegate().statusItem->set_enabled(false);
  EXPECT_EQ(h.status_view().tray().contextMenu(), nullptr);
  EXPECT_FALSE(h.open_menu());
  h.delegate().statusItem->set_enabled(true);
  EXPECT_TRUE(h.open_menu());
}

TEST(StatusMenuView, WithNoDockOffersOnlyQuitWhichEndsTheApplication) {
  FrontEndHarness h("{}");
  ASSERT_TRUE(h.open_menu());
  ASSERT_EQ(h.menu().actions().size(), 2);
  EXPECT_EQ(h.row(app::kNoDockTag).title_layout().texts[0].text, "Found no Vantrel Berthlines.");
  EXPECT_FALSE(h.row(app::kNoDockTag).isEnabled());
  h.click(app::kQuitTag);
  EXPECT_TRUE(h.application().is_terminated());
  EXPECT_FALSE(h.status_view().tray().isVisible());
  EXPECT_TRUE(h.run_loop().run_until([&] { return h.application().is_terminated(); }, 1.0));
}

TEST(StatusMenuHover, PointingAtAGroupCommandShowsItsHighlightedIcon) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  h.point_at(kEjectAll);
  EXPECT_EQ(h.model_menu().highlighted_item(), &h.item(kEjectAll));
  EXPECT_TRUE(h.row(kEjectAll).is_highlighted());
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kEjectAll)), (Images{"unit_1", "eject-w"}));
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kAllUSB)), (Images{"eject_USB"}));

  h.point_at(kAllUSB);
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kEjectAll)), (Images{"unit_1", "eject"}));
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kAllUSB)), (Images{"eject_USB-w"}));
  EXPECT_FALSE(h.row(kEjectAll).is_highlighted());

  h.point_at(kAllESATA);
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kAllUSB)), (Images{"eject_USB"}));
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kAllESATA)), (Images{"eject_eSATA-w"}));
}

TEST(StatusMenuHover, ADisabledRowOrLeavingTheMenuRestoresEveryIcon) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  h.point_at(kEjectAll);
  ASSERT_EQ(FrontEndHarness::images_of(h.row(kEjectAll)), (Images{"unit_1", "eject-w"}));
  h.point_at(kUSBPort1);  // no volume: disabled, so nothing is highlighted
  EXPECT_EQ(h.model_menu().highlighted_item(), nullptr);
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kEjectAll)), (Images{"unit_1", "eject"}));

  h.point_at(kAllUSB);
  ASSERT_EQ(FrontEndHarness::images_of(h.row(kAllUSB)), (Images{"eject_USB-w"}));
  h.point_at(std::nullopt);
  EXPECT_EQ(h.model_menu().highlighted_item(), nullptr);
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kAllUSB)), (Images{"eject_USB"}));
}

TEST(StatusMenuHover, TheKeyboardMovesTheHighlightToo) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  h.point_at(kEjectAll);
  QTest::keyClick(&h.menu(), Qt::Key_Down);
  EXPECT_EQ(h.model_menu().highlighted_item(), &h.item(kAllUSB));
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kAllUSB)), (Images{"eject_USB-w"}));
}

TEST(StatusMenuHover, ClosingTheMenuEndsTheHighlight) {
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  h.point_at(kEjectAll);
  h.menu().hide();
  EXPECT_FALSE(h.model_menu().is_open());
  EXPECT_EQ(FrontEndHarness::images_of(h.row(kEjectAll)), (Images{"unit_1", "eject"}));
}

}  // namespace
}  // namespace berth
