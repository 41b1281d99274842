// The status menu as the refresh builds it at every opening: the no-dock menu, dock
// blocks, the item pool, the highlighted group command's icon, the poll timer.
#include <gtest/gtest.h>

#include <tuple>

#include "app/app_texts.h"
#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;

const std::string kQuit = "55500AAA+ Quit Vantrel Berthline Utility";

// The no-dock menu, then a dock of type 10 plugged in with one volume on USB port 2
// (the model goes on after terminating): the next opening shows the dock's block alone.
TEST(Menu, NoDockLineAndQuitUntilADockAppearsThenTheDocksBlockWithItsTitlesAndToolTips) {
  AppHarness h(app_machine({}));
  EXPECT_EQ(h.open_menu_lines(), (Lines{"5555AAAA- Found no Vantrel Berthlines.", kQuit}));
  ASSERT_TRUE(h.headless().choose(app::kQuitTag));
  EXPECT_TRUE(h.headless().application().is_terminated());
  auto docked = SimFixture::from_json(app_machine({DockSpec{.usb = {std::nullopt, 4, std::nullopt}}},
                                                  json::array({json{{"bsd", "disk4"}}, mounted("disk4s2", "Data")})));
  docked.machine().resources().set_default_resource_directory(h.resource_path());
  EXPECT_EQ(h.open_menu_lines(), (Lines{"3FF+ [unit_1]' Eject all volumes '@14/5[eject] | Eject all volumes", "|", "4FF+ '      '@14[eject_USB] | Eject all USB volumes",
                                        "100-       port 1 | Eject volumes on USB port 1",
                                        "101+       port 2: Data | Eject volumes on USB port 2",
                                        "102-       port 3 | Eject volumes on USB port 3",
                                        "8FF- '      '@14[eject_eSATA] | Eject all eSATA volumes",
                                        "200-       port 1 | Eject volumes on ESATA port 1",
                                        "201-       port 2 | Eject volumes on ESATA port 2", "|", kQuit}));
}

// Which items each block has, their tags, and which are enabled.
TEST(DockBlock, LayoutAndEnablingFollowTheDockTypeAndItsVolumes) {
  const struct {
    const char* name;
    std::vector<DockSpec> docks;
    json disks;
    std::string shape;
    const char* missing_image = nullptr;
  } cases[] = {
      {"the only volume on eSATA port 2", {DockSpec{.sata = {std::nullopt, 6}}}, json::array({mounted("disk6s1", "A")}),
       "3FF+ | 4FF- 100- 101- 102- 8FF+ 200- 201+ | Q+"},
      {"type 6 ends after USB port 3", {DockSpec{.type = 6, .usb = {2, std::nullopt, std::nullopt}}},
       json::array({mounted("disk2s1", "Stick")}), "3FF+ | 4FF+ 100+ 101- 102- | Q+"},
      {"two docks: no separator under eject-all, each block ends with Quit",
       {DockSpec{.type = 6, .guid_low = 1}, DockSpec{.guid_low = 2, .sata = {std::nullopt, 7}}},
       json::array({mounted("disk7", "Whole")}),
       "3FF- 4FF- 100- 101- 102- | Q+ | 103FF+ 104FF- 10100- 10101- 10102- 108FF+ 10200- 10201+ | Q+"},
      {"a missing eject icon stops the block without Quit", {DockSpec{}}, json::array(), "3FF- | 4FF- 100- 101- 102-",
       "eject_eSATA.png"},
  };
  for (const auto& c : cases) {
    AppHarness h(app_machine(c.docks, c.disks), [&](ResourceDir& r) { if (c.missing_image) r.remove(c.missing_image); });
    EXPECT_EQ(h.open_menu_shape(), c.shape) << c.name;
  }
}

TEST(DockBlock, SeventhDockAddsOnlyItsSeparatorAndFails) {
  std::vector<DockSpec> docks;
  for (std::uint32_t i = 0; i < 7; ++i) docks.push_back(DockSpec{.type = 6, .guid_low = i + 1});
  AppHarness h(app_machine(docks));
  EXPECT_TRUE(h.open_menu_shape().ends_with("| 503FF- 504FF- 50100- 50101- 50102- | Q+ |"));
  ASSERT_EQ(h.delegate()._bl_cnt, 7u);
  EXPECT_EQ(h.delegate().fn_build_BLxxx_menuItem(&vtr_device_list[6].dev, 6), app::kStatusError);
}

TEST(DockBlock, ThunderboltTypeIsTheLowByteOfTheGUIDHighHalfAndOnlySixAndTenAreDocks) {
  AppHarness h(app_machine({}));
  const auto type = [&](const sDevice* dev) { return std::pair(+h.delegate().getThunderboltDevType(dev), h.delegate().fn_is_BLxxx(dev)); };
  const std::tuple<std::uint32_t, int, bool> cases[] = {{0x003D000A, 10, true}, {0x003D0106, 6, true}, {0x003D0007, 7, false}};
  for (const auto& [high, number, is_dock] : cases) {
    sDevice dev{};
    dev.TB_GUID_high = high;
    EXPECT_EQ(type(&dev), std::pair(number, is_dock)) << std::hex << high;
  }
  EXPECT_EQ(type(nullptr), std::pair(0, false));
}

TEST(Refresh, RunsAtLaunchAndAtEveryOpeningOfTheStatusMenuOnlyAndKeepsNoItem) {
  AppHarness h(app_machine({DockSpec{}}));
  const std::size_t after_launch = h.scans();
  EXPECT_GT(after_launch, 0u) << "the menu is filled at launch";
  app::Menu other;
  other.set_delegate(&h.delegate());
  other.open();
  EXPECT_EQ(h.scans(), after_launch) << "another menu opening scans nothing";
  const std::weak_ptr<app::MenuItem> old_item = h.menu().items().front();
  h.open_menu_lines();
  EXPECT_GT(h.scans(), after_launch);
  EXPECT_TRUE(old_item.expired());
  EXPECT_EQ(h.delegate()._cnt__pool_itemMenu, 9u) << "every item but the two separators is pooled";
}

TEST(ItemPool, ItsLastSlotIsNeverUsedAndARefusalIsLogged) {
  AppHarness h(app_machine({}));
  app::AppDelegate& d = h.delegate();
  d.fn_remove_all_menuItems();
  for (int i = 0; i < 255; ++i) ASSERT_EQ(d.fn_store_menuItem(app::MenuItem::create("", "", "")), app::kStatusSuccess);
  h.sim().log().clear();
  EXPECT_EQ(d.fn_store_menuItem(app::MenuItem::create("", "", "")), app::kStatusError);
  EXPECT_EQ(std::tuple(d._cnt__pool_itemMenu, d._pool_itemMenu[255]), std::tuple(255u, nullptr));
  EXPECT_EQ(h.sim().log().lines(), (Lines{"-[AppDelegate fn_store_menuItem:]: _cnt__pool_itemMenu:255"}));
  EXPECT_EQ(d.fn_store_menuItem(nullptr), app::kStatusError);
}

std::string look(app::Menu& menu, std::int64_t tag) { return runs_text(*menu.item_with_tag(tag)->attributed_title()); }

// Three docks, the second of type 6: one highlight after another, only the group
// command highlighted shows its "-w" icon, and port items are never retitled.
TEST(Highlight, OnlyTheHighlightedGroupCommandShowsItsHighlightedIcon) {
  AppHarness h(app_machine({DockSpec{.guid_low = 1}, DockSpec{.type = 6, .guid_low = 2}, DockSpec{.guid_low = 3}}));
  h.open_menu_lines();
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

TEST(Highlight, MissingImagesGiveNoTitleAndLeaveTheOldOneAndOnlyEjectAllItemsAreRetitled) {
  AppHarness h(app_machine({DockSpec{}}), [](ResourceDir& r) { r.remove("eject_USB-w.png"); });
  h.open_menu_lines();
  h.menu().highlight(h.menu().item_with_tag(0x4FF).get());
  EXPECT_EQ(look(h.menu(), 0x4FF), "'      '@14[eject_USB]");
  app::AppDelegate& d = h.delegate();
  EXPECT_FALSE(d.fn_create_attrTitle__EjectAllVolumes(d._img_unit1, nullptr));
  EXPECT_FALSE(d.fn_create_attrTitle__EjectXXXVolumes(nullptr));
  auto port_item = app::MenuItem::create("      port 1", "", "");
  port_item->set_tag(0x100);
  d.fn_update_imgs__menuItem(port_item.get(), app::Image::named("eject-w"));
  EXPECT_FALSE(port_item->attributed_title());
}

// The poll timer, which nothing starts: 5 s, or 30 s after a wake-up, a new one replacing
// the old; each tick queues a refresh on the main run loop, where none runs while ejecting.
TEST(PollTimer, TicksAtItsIntervalAndQueuesARefreshThatAnEjectHoldsOff) {
  AppHarness h(app_machine({DockSpec{.usb = {3, std::nullopt, std::nullopt}}}, json::array({mounted("disk3s1", "Data")})));
  app::AppDelegate& d = h.delegate();
  h.sim().log().clear();
  d.fn_disable_tmrs();
  EXPECT_EQ(std::tuple(d.tmr_pollDevInfo, h.sim().log().lines()), std::tuple(nullptr, Lines{})) << "nothing to disable";
  d.fn_enable_tmrs(true);
  EXPECT_EQ(d.tmr_pollDevInfo->time_interval(), 30.0);
  d.fn_enable_tmrs(false);
  EXPECT_EQ(std::tuple(d.tmr_pollDevInfo->time_interval(), h.run_loop().pending_timers()), std::tuple(5.0, 1u));
  const std::size_t before = h.scans();
  h.run_loop().advance(4.9);
  EXPECT_EQ(h.scans(), before);
  h.run_loop().advance(0.1);
  const std::size_t one = h.scans() - before;
  EXPECT_GT(one, 0u);
  h.run_loop().advance(10.0);
  EXPECT_EQ(h.scans(), before + 3 * one) << "it repeats";
  d.fn_disable_tmrs();
  EXPECT_EQ(std::tuple(d.tmr_pollDevInfo, h.run_loop().pending_timers()), std::tuple(nullptr, 0u));
  h.open_menu_lines();
  ASSERT_TRUE(h.headless().choose(0x100));
  const std::size_t ejecting = h.scans();
  d.timer_pollDevInfo_CBF();
  h.run_loop().run_tasks();
  EXPECT_EQ(h.scans(), ejecting) << "the status item is disabled while ejecting";
  h.run_loop().advance(0.5);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Data"})) << "the eject still finds its item";
  d.timer_pollDevInfo_CBF();
  EXPECT_EQ(h.scans(), ejecting) << "the callback queues the refresh, it does not run it";
  h.run_loop().run_tasks();
  EXPECT_EQ(h.scans(), ejecting + one);
}

}  // namespace
}  // namespace berth
