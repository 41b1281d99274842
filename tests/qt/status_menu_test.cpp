// The status menu as the front end presents it: it mirrors the model item for item,
// is rebuilt from a fresh scan at every opening, swaps the group command's icon for its
// "-w" look under the pointer, and never opens while the status item is disabled.
#include <QAction>
#include <QTest>

#include <functional>

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

TEST(StatusMenuView, ShowsTitlesAsTheModelWritesThemAndRescansAtEveryOpening) {
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
  h.menu().hide();
  // The volume goes away behind the utility's back; the next opening rescans.
  ASSERT_TRUE(services().workspace->unmount_and_eject("/Volumes/Travel"));
  ASSERT_TRUE(h.open_menu());
  EXPECT_FALSE(h.row(kUSBPort2).isEnabled());
  EXPECT_EQ(h.row(kUSBPort2).title_layout().texts[0].text, "      port 2");
  EXPECT_FALSE(h.row(kAllUSB).isEnabled());
}

TEST(StatusMenuView, TheTrayShowsTheToolTipAndNoMenuWhileDisabled) {
  FrontEndHarness h;
  EXPECT_EQ(h.status_view().tray().toolTip(), "Vantrel Berthline Utility");
  EXPECT_FALSE(h.status_view().tray().icon().isNull());
  h.delegate().statusItem->set_enabled(false);
  EXPECT_EQ(h.status_view().tray().contextMenu(), nullptr);
  EXPECT_FALSE(h.open_menu());
  h.delegate().statusItem->set_enabled(true);
  EXPECT_EQ(h.status_view().tray().contextMenu(), &h.menu());
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
}

// One open menu, one move after another: the item highlighted, and so the one group
// command whose eject sign is the "-w" look.
struct HoverStep {
  const char* name;
  std::function<void(FrontEndHarness&)> act;
  std::optional<std::int64_t> highlighted;
};

TEST(StatusMenuHover, OnlyTheGroupCommandUnderThePointerShowsItsHighlightedIcon) {
  const auto point = [](std::optional<std::int64_t> tag) { return [tag](FrontEndHarness& h) { h.point_at(tag); }; };
  const HoverStep steps[] = {
      {"onto eject all", point(kEjectAll), kEjectAll},   {"onto all USB", point(kAllUSB), kAllUSB},
      {"onto all eSATA", point(kAllESATA), kAllESATA},   {"back to eject all", point(kEjectAll), kEjectAll},
      {"onto a disabled port", point(kUSBPort1), {}},    {"onto all USB again", point(kAllUSB), kAllUSB},
      {"out of the menu", point(std::nullopt), {}},      {"onto eject all", point(kEjectAll), kEjectAll},
      {"the down key", [](FrontEndHarness& h) { QTest::keyClick(&h.menu(), Qt::Key_Down); }, kAllUSB},
      {"closing the menu", [](FrontEndHarness& h) { h.menu().hide(); }, {}},
  };
  const std::pair<std::int64_t, Images> groups[] = {
      {kEjectAll, {"unit_1", "eject"}}, {kAllUSB, {"eject_USB"}}, {kAllESATA, {"eject_eSATA"}}};
  FrontEndHarness h;
  ASSERT_TRUE(h.open_menu());
  for (const HoverStep& step : steps) {
    SCOPED_TRACE(step.name);
    step.act(h);
    EXPECT_EQ(h.model_menu().highlighted_item(), step.highlighted ? &h.item(*step.highlighted) : nullptr);
    for (const auto& [tag, images] : groups) {
      Images expected = images;
      if (step.highlighted == tag) expected.back() += "-w";
      EXPECT_EQ(FrontEndHarness::images_of(h.row(tag)), expected) << "row " << tag;
      EXPECT_EQ(h.row(tag).is_highlighted(), step.highlighted == tag) << "row " << tag;
    }
  }
  EXPECT_FALSE(h.model_menu().is_open());
}

}  // namespace
}  // namespace berth
