// The status menu as the refresh builds it at every opening: the no-dock menu, dock
// blocks with their titles, tags, tool tips and enabling, and the item pools.
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

}  // namespace
}  // namespace berth
