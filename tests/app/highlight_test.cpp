// The highlighted group command shows the "-w" variant of its eject icon.
#include <gtest/gtest.h>

#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;

std::string look(app::Menu& menu, std::int64_t tag) { return runs_text(*menu.item_with_tag(tag)->attributed_title()); }

class Highlight : public ::testing::Test {
 protected:
  AppHarness h{app_machine({DockSpec{.guid_low = 1}, DockSpec{.type = 6, .guid_low = 2}, DockSpec{.guid_low = 3}},
                           json::array())};
  void SetUp() override { h.open_menu_lines(); }
  void highlight(std::int64_t tag) { h.menu().highlight(h.menu().item_with_tag(tag).get()); }
};

TEST_F(Highlight, MovingFromEjectAllToAllUSBSwapsBothIcons) {
  highlight(0x3FF);
  EXPECT_EQ(look(h.menu(), 0x3FF), "[unit_1]' Eject all volumes '@14/5[eject-w]");
  highlight(0x4FF);
  EXPECT_EQ(look(h.menu(), 0x3FF), "[unit_1]' Eject all volumes '@14/5[eject]");
  EXPECT_EQ(look(h.menu(), 0x4FF), "'      '@14[eject_USB-w]");
}

TEST_F(Highlight, AllESATAOfTheThirdDockKeepsItsDockImage) {
  highlight(0x208FF);
  EXPECT_EQ(look(h.menu(), 0x208FF), "'      '@14[eject_eSATA-w]");
  highlight(0x203FF);
  EXPECT_EQ(look(h.menu(), 0x203FF), "[unit_3]' Eject all volumes '@14/5[eject-w]");
  EXPECT_EQ(look(h.menu(), 0x208FF), "'      '@14[eject_eSATA]");
}

TEST_F(Highlight, PortItemsQuitAndNoHighlightLeaveEveryGroupNormal) {
  highlight(0x4FF);
  highlight(0x100);
  EXPECT_EQ(look(h.menu(), 0x4FF), "'      '@14[eject_USB]");
  EXPECT_EQ(h.menu().item_with_tag(0x100)->title(), "      port 1");
  highlight(0x103FF);
  h.menu().highlight(nullptr);
  for (std::int64_t tag : {0x3FF, 0x103FF, 0x203FF})
    EXPECT_NE(look(h.menu(), tag).find("[eject]"), std::string::npos) << std::hex << tag;
  EXPECT_EQ(h.menu().item_with_tag(0x108FF), nullptr) << "a type-6 dock has no all-eSATA item";
}

TEST(HighlightImages, AMissingHighlightIconLeavesTheTitleAsItWas) {
  AppHarness h(app_machine({DockSpec{}}, json::array()), [](ResourceDir& r) { r.remove("eject_USB-w.png"); });
  h.open_menu_lines();
  h.menu().highlight(h.menu().item_with_tag(0x4FF).get());
  EXPECT_EQ(look(h.menu(), 0x4FF), "'      '@14[eject_USB]");
}

TEST(HighlightImages, GroupTitlesNeedTheirImagesAndOnlyEjectAllItemsAreRetitled) {
  AppHarness h(app_machine({}, json::array()));
  app::AppDelegate& d = h.delegate();
  EXPECT_FALSE(d.fn_create_attrTitle__EjectAllVolumes(d._img_unit1, nullptr));
  EXPECT_FALSE(d.fn_create_attrTitle__EjectXXXVolumes(nullptr));
  auto port_item = app::MenuItem::create("      port 1", "", "");
  port_item->set_tag(0x100);
  d.fn_update_imgs__menuItem(port_item.get(), app::Image::named("eject-w"));
  EXPECT_FALSE(port_item->attributed_title()) << "only eject-all items are retitled";
}

}  // namespace
}  // namespace berth
