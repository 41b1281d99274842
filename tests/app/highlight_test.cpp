// The highlighted group command shows the "-w" variant of its eject icon.
#include <gtest/gtest.h>

#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;

std::string look(app::Menu& menu, std::int64_t tag) { return runs_text(*menu.item_with_tag(tag)->attributed_title()); }

// Three docks, the second of type 6: one highlight after another, only the group
// command highlighted shows its "-w" icon, and port items are never retitled.
TEST(Highlight, OnlyTheHighlightedGroupCommandShowsItsHighlightedIcon) {
  AppHarness h(app_machine({DockSpec{.guid_low = 1}, DockSpec{.type = 6, .guid_low = 2}, DockSpec{.guid_low = 3}},
                           json::array()));
  h.open_menu_lines();
  EXPECT_EQ(h.menu().item_with_tag(0x108FF), nullptr) << "a type-6 dock has no all-eSATA item";
  const auto normal = [](std::int64_t tag) {
    if ((tag & 0xFFFF) == 0x3FF) return "[unit_" + std::to_string((tag >> 16) + 1) + "]' Eject all volumes '@14/5[eject]";
    return std::string("'      '@14[") + ((tag & 0xFFFF) == 0x4FF ? "eject_USB]" : "eject_eSATA]");
  };
  for (const std::int64_t step : {0x3FF, 0x4FF, 0x208FF, 0x203FF, 0x100, 0x103FF, 0x104FF, 0}) {
    h.menu().highlight(step ? h.menu().item_with_tag(step).get() : nullptr);
    for (const std::int64_t tag : {0x3FF, 0x4FF, 0x8FF, 0x103FF, 0x104FF, 0x203FF, 0x204FF, 0x208FF}) {
      std::string expected = normal(tag);
      if (tag == step) expected.insert(expected.size() - 1, "-w");
      EXPECT_EQ(look(h.menu(), tag), expected) << std::hex << "highlighted " << step << ", item " << tag;
    }
    EXPECT_EQ(h.menu().item_with_tag(0x100)->title(), "      port 1");
  }
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
