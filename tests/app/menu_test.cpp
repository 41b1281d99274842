// The status menu as the refresh builds it at every opening: the no-dock menu, dock
// blocks with their titles, tags, tool tips and enabling, the item pools, the highlighted
// group command's icon, and the poll timer's refresh.
#include <gtest/gtest.h>

#include <tuple>

#include "app/app_texts.h"
#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;
using Lines = std::vector<std::string>;

const std::string kEjectAll = "[unit_1]' Eject all volumes '@14/5[eject] | Eject all volumes";
const std::string kAllUSB = "'      '@14[eject_USB] | Eject all USB volumes";
const std::string kAllESATA = "'      '@14[eject_eSATA] | Eject all eSATA volumes";
const std::string kQuit = "55500AAA on  Quit Vantrel Berthline Utility";

TEST(NoDockMenu, HoldsTheDisabledNoDockLineAndQuitWithoutSeparator) {
  AppHarness h(app_machine({}, json::array()));
  EXPECT_EQ(h.open_menu_lines(), (Lines{"5555AAAA off Found no Vantrel Berthlines.", kQuit}));
  EXPECT_EQ(h.menu().items()[1]->action(), "ibac_func_Quit:");
}

TEST(NoDockMenu, IsReplacedByTheDockBlockOnceADockAppears) {
  AppHarness h(app_machine({}, json::array()));
  h.open_menu_lines();
  // The dock is plugged in: the machine's ports now show it.
  auto docked = SimFixture::from_json(app_machine({DockSpec{}}, json::array()));
  docked.machine().resources().set_default_resource_directory(h.resource_path());
  const Lines lines = h.open_menu_lines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines.front(), "000003FF off " + kEjectAll);
  for (const std::string& line : lines) EXPECT_EQ(line.find("Found no"), std::string::npos);
}

TEST(DockBlock, TypeTenWithOneVolumeOnUSBPortTwo) {
  AppHarness h(app_machine({DockSpec{.usb = {std::nullopt, 4, std::nullopt}}},
                           json::array({json{{"bsd", "disk4"}}, mounted("disk4s2", "Data")})));
  EXPECT_EQ(h.open_menu_lines(), (Lines{"000003FF on  " + kEjectAll, "---", "000004FF on  " + kAllUSB,
                                        "00000100 off       port 1 | Eject volumes on USB port 1",
                                        "00000101 on        port 2: Data | Eject volumes on USB port 2",
                                        "00000102 off       port 3 | Eject volumes on USB port 3",
                                        "000008FF off " + kAllESATA,
                                        "00000200 off       port 1 | Eject volumes on ESATA port 1",
                                        "00000201 off       port 2 | Eject volumes on ESATA port 2", "---", kQuit}));
  EXPECT_EQ(h.menu().item_with_tag(0x101)->action(), "ibac_ejectVolumes:");
  EXPECT_TRUE(h.menu().item_with_tag(0x100)->action().empty());
}

TEST(DockBlock, OnlyVolumeOnESATAPortTwoEnablesItsSideAndEjectAll) {
  AppHarness h(app_machine({DockSpec{.sata = {std::nullopt, 6}}}, json::array({mounted("disk6s1", "Archive")})));
  const Lines lines = h.open_menu_lines();
  EXPECT_EQ(lines[0], "000003FF on  " + kEjectAll);
  EXPECT_EQ(lines[2], "000004FF off " + kAllUSB);
  EXPECT_EQ(lines[6], "000008FF on  " + kAllESATA);
  EXPECT_EQ(lines[7], "00000200 off       port 1 | Eject volumes on ESATA port 1");
  EXPECT_EQ(lines[8], "00000201 on        port 2: Archive | Eject volumes on ESATA port 2");
}

TEST(DockBlock, TypeSixHasNoESATASideAndEndsAfterUSBPortThree) {
  AppHarness h(app_machine({DockSpec{.type = 6, .usb = {2, std::nullopt, std::nullopt}}},
                           json::array({mounted("disk2s1", "Stick")})));
  EXPECT_EQ(h.open_menu_lines(),
            (Lines{"000003FF on  " + kEjectAll, "---", "000004FF on  " + kAllUSB,
                   "00000100 on        port 1: Stick | Eject volumes on USB port 1",
                   "00000101 off       port 2 | Eject volumes on USB port 2",
                   "00000102 off       port 3 | Eject volumes on USB port 3", "---", kQuit}));
}

TEST(DockBlock, TwoDocksEachEndWithQuitAndOnlyTheSecondStartsWithASeparator) {
  AppHarness h(app_machine({DockSpec{.type = 6, .guid_low = 1}, DockSpec{.type = 10, .guid_low = 2, .sata = {std::nullopt, 7}}},
                           json::array({mounted("disk7", "Whole")})));
  const Lines lines = h.open_menu_lines();
  ASSERT_EQ(lines.size(), 7u + 11u);
  EXPECT_EQ(lines[0], "000003FF off " + kEjectAll);
  EXPECT_EQ(lines[1], "000004FF off " + kAllUSB) << "no separator under eject-all with two docks";
  EXPECT_EQ(lines[5], "---");
  EXPECT_EQ(lines[6], kQuit);
  EXPECT_EQ(lines[7], "---");
  EXPECT_EQ(lines[8], "000103FF on  [unit_2]' Eject all volumes '@14/5[eject] | Eject all volumes");
  EXPECT_EQ(lines[9], "000104FF off " + kAllUSB);
  EXPECT_EQ(lines[15], "00010201 on        port 2: Whole | Eject volumes on ESATA port 2");
  EXPECT_EQ(lines.back(), kQuit);
}

TEST(DockBlock, SeventhDockAddsOnlyItsSeparatorAndFails) {
  std::vector<DockSpec> docks;
  for (std::uint32_t i = 0; i < 7; ++i) docks.push_back(DockSpec{.type = 6, .guid_low = i + 1});
  AppHarness h(app_machine(docks, json::array()));
  const Lines lines = h.open_menu_lines();
  ASSERT_EQ(h.delegate()._bl_cnt, 7u);
  EXPECT_EQ(lines.back(), "---");
  EXPECT_EQ(lines[lines.size() - 2], kQuit);
  EXPECT_EQ(h.delegate().fn_build_BLxxx_menuItem(&vtr_device_list[6].dev, 6), app::kStatusError);
  EXPECT_NE(h.menu().item_with_tag(0x504FF), nullptr);
}

TEST(DockBlock, AMissingEjectIconStopsTheBlockWithoutQuit) {
  AppHarness h(app_machine({DockSpec{}}, json::array()), [](ResourceDir& r) { r.remove("eject_eSATA.png"); });
  const Lines lines = h.open_menu_lines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines.back(), "00000102 off       port 3 | Eject volumes on USB port 3");
}

TEST(DockBlock, ThunderboltTypeIsTheLowByteOfTheGUIDHighHalfAndOnlySixAndTenAreDocks) {
  AppHarness h(app_machine({}, json::array()));
  const std::tuple<std::uint32_t, int, bool> cases[] = {{0x003D000A, 10, true}, {0x003D0106, 6, true}, {0x003D0007, 7, false}};
  for (const auto& [high, type, is_dock] : cases) {
    sDevice dev{};
    dev.TB_GUID_high = high;
    EXPECT_EQ(h.delegate().getThunderboltDevType(&dev), type) << std::hex << high;
    EXPECT_EQ(h.delegate().fn_is_BLxxx(&dev), is_dock) << std::hex << high;
  }
  EXPECT_EQ(h.delegate().getThunderboltDevType(nullptr), 0);
  EXPECT_FALSE(h.delegate().fn_is_BLxxx(nullptr));
}

TEST(Refresh, RunsAtEveryOpeningOfTheStatusMenuOnly) {
  AppHarness h(app_machine({DockSpec{}}, json::array()));
  const auto matchings = [&] { return h.sim().machine().registry().counts().matchings; };
  const std::size_t after_launch = matchings();
  EXPECT_GT(after_launch, 0u) << "the menu is filled at launch";
  app::Menu other;
  other.set_delegate(&h.delegate());
  other.open();
  EXPECT_EQ(matchings(), after_launch) << "another menu opening scans nothing";
  h.open_menu_lines();
  EXPECT_GT(matchings(), after_launch);
}

TEST(Refresh, NoItemSurvivesFromOneOpeningToTheNext) {
  AppHarness h(app_machine({DockSpec{}}, json::array()));
  h.open_menu_lines();
  const std::weak_ptr<app::MenuItem> old_item = h.menu().items().front();
  h.open_menu_lines();
  EXPECT_TRUE(old_item.expired());
  EXPECT_EQ(h.delegate()._cnt__pool_itemMenu, 9u) << "every item but the two separators is pooled";
}

TEST(ItemPool, TheLastSlotOfEachPoolIsNeverUsedAndARefusalIsLogged) {
  AppHarness h(app_machine({}, json::array()));
  app::AppDelegate& d = h.delegate();
  d.fn_remove_all_menuItems();
  for (int i = 0; i < 255; ++i) ASSERT_EQ(d.fn_store_menuItem(app::MenuItem::create("", "", "")), app::kStatusSuccess);
  for (int i = 0; i < 15; ++i) ASSERT_EQ(d.fn_store_subMenu(std::make_shared<app::Menu>()), app::kStatusSuccess);
  h.sim().log().clear();
  EXPECT_EQ(d.fn_store_menuItem(app::MenuItem::create("", "", "")), app::kStatusError);
  EXPECT_EQ(d.fn_store_subMenu(std::make_shared<app::Menu>()), app::kStatusError);
  EXPECT_EQ(d._cnt__pool_itemMenu, 255u);
  EXPECT_EQ(d._pool_itemMenu[255], nullptr);
  EXPECT_EQ(h.sim().log().lines(), (Lines{"-[AppDelegate fn_store_menuItem:]: _cnt__pool_itemMenu:255",
                                          "-[AppDelegate fn_store_subMenu:]: _cnt__pool_subMenu:15"}));
  EXPECT_EQ(d.fn_store_menuItem(nullptr), app::kStatusError);
  EXPECT_EQ(d.fn_release_subMenus(), 0);
  EXPECT_EQ(d._cnt__pool_subMenu, 0u);
}

TEST(Quit, TerminatesTheApplication) {
  AppHarness h(app_machine({}, json::array()));
  h.open_menu_lines();
  ASSERT_TRUE(h.headless().choose(app::kQuitTag));
  EXPECT_TRUE(h.headless().application().is_terminated());
}

// The highlighted group command shows the "-w" variant of its eject icon.

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

// The poll timer: started by nothing, and when started its refresh runs on the main run
// loop, never while an eject holds the dock table.

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
