// Eject commands end to end: the ejecting state, the 0.5 s delay, what the workspace is
// asked to unmount, the alerts and the way back to idle.
#include <gtest/gtest.h>

#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;
using Lines = std::vector<std::string>;

const std::string kFailedArchive = "alert Failed to eject volume:Archive";

// A type-10 dock: USB port 1 holds disk3 (Travel and EFI), eSATA port 2 holds disk5
// (Archive, refused by the workspace, and Backups).
json refused(const std::string& bsd, const std::string& name) {
  json volume = mounted(bsd, name);
  volume["volume"]["eject"] = "refuse";
  return volume;
}

std::string standard_dock(json extra = json::object()) {
  return app_machine({DockSpec{.usb = {3, std::nullopt, std::nullopt}, .sata = {std::nullopt, 5}}},
                     json::array({mounted("disk3s1", "EFI"), mounted("disk3s2", "Travel"), refused("disk5s1", "Archive"),
                                  mounted("disk5s2", "Backups")}),
                     std::move(extra));
}

TEST(EjectRequest, EntersTheEjectingStateAtOnceAndWorksHalfASecondLater) {
  AppHarness h(standard_dock());
  h.open_menu_lines();
  h.events().lines.clear();
  ASSERT_TRUE(h.headless().choose(0x100));
  EXPECT_EQ(h.events().lines, (Lines{"status item enabled=0", "message Ejecting volumes. Please wait...",
                                     "indicator animating=1", "window visible=1"}));
  EXPECT_FALSE(h.headless().open_status_menu()) << "no menu while ejecting";
  h.run_loop().advance(0.49);
  EXPECT_TRUE(h.unmounted().empty());
  EXPECT_TRUE(h.delegate()._window_Msg->is_visible());
  h.run_loop().advance(0.01);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Travel"}));
  EXPECT_TRUE(h.delegate().statusItem->is_enabled());
  EXPECT_FALSE(h.delegate()._window_Msg->is_visible());
  EXPECT_FALSE(h.delegate()._pgs_vol_eject->is_animating());
}

TEST(EjectRequest, IdleIsRestoredBeforeTheSummaryAlert) {
  AppHarness h(standard_dock());
  h.eject(0x4FF);
  const Lines& lines = h.events().lines;
  EXPECT_EQ(Lines(lines.end() - 4, lines.end()), (Lines{"status item enabled=1", "indicator animating=0",
                                                         "window visible=0", "alert Devices ejected safely."}));
  ASSERT_EQ(h.alerts().size(), 1u);
  EXPECT_EQ(h.alerts()[0].title, "Vantrel Berthline Utility");
  EXPECT_EQ(h.alerts()[0].default_button, "Confirm");
  EXPECT_TRUE(h.alerts()[0].alternate_button.empty());
}

TEST(EjectRequest, TheTimerKeepsNoItemAliveButUsesOneThatLives) {
  AppHarness h(standard_dock());
  h.open_menu_lines();
  auto item = app::MenuItem::create("", "ibac_ejectVolumes:", "");
  item->set_tag(0x100);
  h.delegate().ibac_ejectVolumes(item.get());
  EXPECT_EQ(item.use_count(), 1);
  h.run_loop().advance(0.5);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Travel"}));
}

TEST(EjectGroup, EjectAllTakesUSBThenESATAAndReportsTheFailure) {
  AppHarness h(standard_dock());
  h.eject(0x3FF);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Travel", "/Volumes/Backups"})) << "a refusal does not stop the run";
  const auto& calls = h.sim().machine().disks().workspace().calls();
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[1].path, "/Volumes/Archive");
  EXPECT_FALSE(calls[1].accepted);
  EXPECT_EQ(h.events().lines.back(), "alert Device eject failed.");
  EXPECT_EQ(h.events().lines[h.events().lines.size() - 5], kFailedArchive);
}

TEST(EjectGroup, NoDiskOnAnyPortOfTheGroupIsSafe) {
  AppHarness h(standard_dock());
  h.open_menu_lines();
  auto item = app::MenuItem::create("", "ibac_ejectVolumes:", "");
  item->set_tag(0x4FF);
  vtr_device_list[0].dev.usb_disk[0].bsd_unit = 255;
  h.delegate().thread_ejectVolumes(item.get());
  EXPECT_TRUE(h.unmounted().empty());
  EXPECT_EQ(h.events().lines.back(), "alert Devices ejected safely.");
}

TEST(EjectGroup, TypeSixDockEjectsItsUSBSideOnlyWhateverTheItem) {
  AppHarness h(app_machine({DockSpec{.type = 6, .usb = {std::nullopt, 2, std::nullopt}}},
                           json::array({mounted("disk2s1", "Stick"), mounted("disk0s2", "Macintosh HD")})));
  h.open_menu_lines();
  // A type-6 record whose eSATA side still holds unit 0 from nowhere: never looked at.
  vtr_device_list[0].dev.sata_disk[0].bsd_unit = 0;
  auto all_esata = app::MenuItem::create("", "ibac_ejectVolumes:", "");
  all_esata->set_tag(0x8FF);
  h.delegate().thread_ejectVolumes(all_esata.get());
  EXPECT_TRUE(h.unmounted().empty());
  EXPECT_EQ(h.alerts().back().message, "Devices ejected safely.");
  h.eject(0x3FF);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Stick"}));
}

TEST(EjectGroup, DVDDrivesAreSkippedSilently) {
  DockSpec dock{.usb = {2, 3, std::nullopt}};
  dock.usb_type[0] = "DVD-ROM drive";
  AppHarness h(app_machine({dock}, json::array({mounted("disk2", "Film"), mounted("disk3s1", "Data")})));
  h.eject(0x4FF);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Data"}));
  EXPECT_EQ(h.events().lines.back(), "alert Devices ejected safely.");
}

TEST(EjectOnePort, AFailedVolumeShowsOnlyItsOwnAlert) {
  AppHarness h(standard_dock());
  h.eject(0x201);
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Backups"})) << "the second volume is still tried";
  ASSERT_EQ(h.alerts().size(), 1u);
  EXPECT_EQ(h.alerts()[0].message, "Failed to eject volume:Archive");
  EXPECT_TRUE(h.delegate().statusItem->is_enabled());
}

TEST(EjectOnePort, APortWithoutADiskIsSafe) {
  AppHarness h(standard_dock());
  h.open_menu_lines();
  auto item = app::MenuItem::create("", "ibac_ejectVolumes:", "");
  item->set_tag(0x200);
  h.delegate().thread_ejectVolumes(item.get());
  EXPECT_EQ(h.alerts().back().message, "Devices ejected safely.");
  item->set_tag(0x501);  // interface type 5: no such side
  h.delegate().thread_ejectVolumes(item.get());
  EXPECT_EQ(h.alerts().size(), 2u);
  EXPECT_TRUE(h.unmounted().empty());
}

TEST(EjectOnePort, ADVDDriveIsRefusedAndTheProgressStillEnds) {
  DockSpec dock{.usb = {2, std::nullopt, std::nullopt}};
  dock.usb_type[0] = "DVD-ROM";
  AppHarness h(app_machine({dock}, json::array({mounted("disk2", "Film")})));
  h.eject(0x100);
  EXPECT_TRUE(h.unmounted().empty());
  ASSERT_EQ(h.alerts().size(), 1u);
  EXPECT_EQ(h.alerts()[0].message, "Do not support DVD-ROM eject.");
  EXPECT_TRUE(h.delegate().statusItem->is_enabled());
  EXPECT_FALSE(h.delegate()._window_Msg->is_visible());
}

TEST(EjectOnePort, NoSessionShowsNothingAtAll) {
  AppHarness h(standard_dock(json{{"disk_arbitration", {{"session", "fail"}}}}));
  h.open_menu_lines();
  auto item = app::MenuItem::create("", "ibac_ejectVolumes:", "");
  item->set_tag(0x100);
  ASSERT_EQ(vtr_device_list[0].dev.usb_disk[0].bsd_unit, 3u);
  h.delegate().thread_ejectVolumes(item.get());
  EXPECT_TRUE(h.alerts().empty());
  EXPECT_TRUE(h.sim().machine().disks().workspace().calls().empty());
  EXPECT_TRUE(h.delegate().statusItem->is_enabled());
}

TEST(Unmount, ProtectedNamesAreNeverEjectedButOtherCasesAre) {
  AppHarness h(app_machine({DockSpec{.usb = {4, std::nullopt, std::nullopt}}},
                           json::array({mounted("disk4s1", "EFI"), refused("disk4s2", "efi")})));
  h.open_menu_lines();
  EXPECT_FALSE(h.delegate().fn_unmount_diskX(4));
  const auto& calls = h.sim().machine().disks().workspace().calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].path, "/Volumes/efi");
}

TEST(Unmount, UnreachableAndUnmountedVolumesAreSkippedAsSuccess) {
  json unreachable = mounted("disk4s2", "Gone");
  unreachable["volume"]["reachable"] = false;
  AppHarness h(app_machine({}, json::array({unmounted("disk4s1", "Sleep"), unreachable})));
  EXPECT_TRUE(h.delegate().fn_unmount_diskX(4));
  EXPECT_TRUE(h.sim().machine().disks().workspace().calls().empty());
  EXPECT_TRUE(h.alerts().empty());
}

TEST(Unmount, EjectingOneVolumeUnmountsTheWholeDisk) {
  AppHarness h(app_machine({}, json::array({mounted("disk4", "Whole"), mounted("disk4s3", "Three")})));
  EXPECT_TRUE(h.delegate().fn_unmount_diskX(4));
  EXPECT_EQ(h.unmounted(), (Lines{"/Volumes/Whole"})) << "slice 3 went with its disk";
}

TEST(Unmount, AVolumeNameIsShownLiterallyInItsAlert) {
  AppHarness h(app_machine({}, json::array({refused("disk4s1", "100%s %n %@ done")})));
  EXPECT_FALSE(h.delegate().fn_unmount_diskX(4));
  ASSERT_EQ(h.alerts().size(), 1u);
  EXPECT_EQ(h.alerts()[0].message, "Failed to eject volume:100%s %n %@ done");
}

TEST(Unmount, AUnitAboveTwoFiftyFiveNeverTouchesTheDiskItWouldBeCutTo) {
  AppHarness h(app_machine({DockSpec{.usb = {259, std::nullopt, std::nullopt}}},
                           json::array({mounted("disk3s1", "Bystander"), mounted("disk259s1", "Far")})));
  h.open_menu_lines();
  auto item = app::MenuItem::create("", "ibac_ejectVolumes:", "");
  for (std::int64_t tag : {0x3FF, 0x4FF, 0x100}) {
    item->set_tag(tag);
    h.delegate().thread_ejectVolumes(item.get());
  }
  EXPECT_TRUE(h.unmounted().empty());
  EXPECT_TRUE(h.sim().machine().disks().workspace().calls().empty());
}

TEST(EjectTimer, FiringWithoutItsMenuItemStillEndsTheEjectingState) {
  AppHarness h(standard_dock());
  h.open_menu_lines();
  ASSERT_TRUE(h.headless().choose(0x100));
  // The item is gone before the timer fires (its menu was rebuilt and its pool emptied).
  h.delegate().fn_remove_all_menuItems();
  h.run_loop().advance(0.5);
  EXPECT_TRUE(h.unmounted().empty());
  EXPECT_TRUE(h.alerts().empty());
  EXPECT_TRUE(h.delegate().statusItem->is_enabled());
  EXPECT_FALSE(h.delegate()._window_Msg->is_visible());
  EXPECT_FALSE(h.delegate()._pgs_vol_eject->is_animating());
}

TEST(EjectTexts, AlertsUseTheBundlesLocalizedTextsWithEnglishAsFallback) {
  AppHarness h(standard_dock(json{{"bundle", {{"strings", {{"Confirm", "Bestätigen"}, {"Devices ejected safely.", "Sicher ausgeworfen."}}}}}}));
  h.eject(0x100);
  ASSERT_EQ(h.alerts().size(), 1u);
  EXPECT_EQ(h.alerts()[0].message, "Sicher ausgeworfen.");
  EXPECT_EQ(h.alerts()[0].default_button, "Bestätigen");
  EXPECT_EQ(h.alerts()[0].title, "Vantrel Berthline Utility");
}

}  // namespace
}  // namespace berth
