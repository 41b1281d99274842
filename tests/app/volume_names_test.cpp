// The volumes a disk contributes to its port's title and its dock's volume-name list.
#include <gtest/gtest.h>

#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;

// One type-10 dock with the disk of unit 4 on USB port 1.
AppHarness dock_with_disk4(json disks, json extra = json::object()) {
  return AppHarness(app_machine({DockSpec{.usb = {4, std::nullopt, std::nullopt}}}, std::move(disks), std::move(extra)));
}

std::vector<std::string> names(const sDevice& dev) {
  return std::vector<std::string>(dev.vol_names, dev.vol_names + dev.vol_name_cnt);
}

const sDevice& dock0() { return vtr_device_list[0].dev; }

TEST(VolumeNames, ProtectedNamesAreSkippedExactlyAsWritten) {
  auto h = dock_with_disk4(json::array({mounted("disk4s1", "EFI"), mounted("disk4s2", "Data"),
                                        mounted("disk4s3", "bootcamp"), mounted("disk4s4", "Recovery HD"),
                                        mounted("disk4s5", "Boot OS X"), mounted("disk4s6", "BOOTCAMP")}));
  h.open_menu_lines();
  EXPECT_EQ(names(dock0()), (std::vector<std::string>{"Data", "bootcamp"}));
  EXPECT_EQ(h.menu().item_with_tag(0x100)->title(), "      port 1: Data");
}

TEST(VolumeNames, OnlyMountedVolumesWithReadableAttributesCount) {
  json attributes_fail = mounted("disk4s3", "NoAttrs");
  attributes_fail["volume"]["attributes"] = false;
  json nameless = {{"bsd", "disk4s4"}, {"volume", {{"path", "/Volumes/X"}}}};
  json no_description = mounted("disk4s5", "Hidden");
  no_description["description"] = false;
  auto h = dock_with_disk4(json::array({unmounted("disk4s1", "Sleeping"), mounted("disk4s2", "Awake"), attributes_fail,
                                        nameless, no_description}));
  h.open_menu_lines();
  EXPECT_EQ(names(dock0()), (std::vector<std::string>{"Awake"}));
}

TEST(VolumeNames, WholeDiskVolumeCountsAndSlicesKeepTheirOrder) {
  auto h = dock_with_disk4(
      json::array({mounted("disk4s5", "Five", 2'500'000'000), mounted("disk4", "Whole"), mounted("disk4s2", "Two")}));
  h.open_menu_lines();
  EXPECT_EQ(names(dock0()), (std::vector<std::string>{"Whole", "Two", "Five"}));
  EXPECT_DOUBLE_EQ(dock0().vol_free_gb[2], 2.5);
  EXPECT_EQ(h.menu().item_with_tag(0x100)->title(), "      port 1: Whole") << "only the first name is shown";
}

TEST(VolumeNames, SliceThirtyTwoIsNeverLookedAt) {
  auto h = dock_with_disk4(json::array({mounted("disk4s31", "Last"), mounted("disk4s32", "Beyond")}));
  h.open_menu_lines();
  EXPECT_EQ(names(dock0()), (std::vector<std::string>{"Last"}));
}

TEST(VolumeNames, UnitTwoFiftyFiveAsksNothingAndAnAbsentDiskGivesNothing) {
  AppHarness h(app_machine({DockSpec{.usb = {7, std::nullopt, std::nullopt}}}, json::array()));
  const auto& counts = h.sim().machine().disks().disk_arbitration().counts();
  std::uint8_t count = 9;
  sDevice dev{};
  const std::size_t lookups = counts.lookups;
  h.delegate().__dump_partition_names(&dev, 255, &count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(counts.lookups, lookups);
  h.delegate().__dump_partition_names(&dev, 7, &count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(counts.lookups, lookups + 32) << "all 32 names are tried, without an early stop";
}

TEST(VolumeNames, NoSessionCountsNothing) {
  auto h = dock_with_disk4(json::array({mounted("disk4s2", "Data")}), json{{"disk_arbitration", {{"session", "fail"}}}});
  h.open_menu_lines();
  EXPECT_EQ(dock0().vol_name_cnt, 0);
  EXPECT_FALSE(h.menu().item_with_tag(0x100)->is_enabled());
}

TEST(VolumeNames, PortsShareTheListInPortOrderUSBThenESATA) {
  AppHarness h(app_machine({DockSpec{.usb = {std::nullopt, 3, 2}, .sata = {5, std::nullopt}}},
                           json::array({mounted("disk2s1", "C"), mounted("disk3s1", "B1"), mounted("disk3s2", "B2"),
                                        mounted("disk5s1", "S")})));
  h.open_menu_lines();
  EXPECT_EQ(names(dock0()), (std::vector<std::string>{"B1", "B2", "C", "S"}));
  EXPECT_EQ(h.menu().item_with_tag(0x102)->title(), "      port 3: C");
  EXPECT_EQ(h.menu().item_with_tag(0x200)->title(), "      port 1: S");
}

TEST(VolumeNames, MoreThanThirtyTwoVolumesOnOneDockStopAtTheListsEnd) {
  json disks = json::array();
  for (int slice = 1; slice <= 20; ++slice) {
    disks.push_back(mounted("disk3s" + std::to_string(slice), "A" + std::to_string(slice)));
    disks.push_back(mounted("disk5s" + std::to_string(slice), "B" + std::to_string(slice)));
  }
  AppHarness h(app_machine({DockSpec{.usb = {3, 5, std::nullopt}}}, disks));
  sDevice& dev = vtr_device_list[0].dev;
  // Guard the memory just past the list: it must stay untouched.
  const std::uint8_t pad_before[3] = {dev.vol_pad[0], dev.vol_pad[1], dev.vol_pad[2]};
  h.open_menu_lines();
  ASSERT_EQ(dev.vol_name_cnt, 32);
  EXPECT_STREQ(dev.vol_names[19], "A20");
  EXPECT_STREQ(dev.vol_names[20], "B1");
  EXPECT_STREQ(dev.vol_names[31], "B12");
  EXPECT_EQ(std::vector<std::uint8_t>(dev.vol_pad, dev.vol_pad + 3), std::vector<std::uint8_t>(pad_before, pad_before + 3));
  EXPECT_EQ(h.menu().item_with_tag(0x101)->title(), "      port 2: B1");
}

TEST(VolumeNames, AUnitAboveTwoFiftyFiveIsShownAsAPortItCannotAddress) {
  // Unit 259 cut to a byte is 3: the disk of another port, whose volume must not appear here.
  AppHarness h(app_machine({DockSpec{.usb = {259, 3, std::nullopt}}},
                           json::array({mounted("disk259s1", "Far"), mounted("disk3s1", "Near")})));
  h.open_menu_lines();
  EXPECT_EQ(h.menu().item_with_tag(0x100)->title(), "      port 1");
  EXPECT_FALSE(h.menu().item_with_tag(0x100)->is_enabled());
  EXPECT_EQ(h.menu().item_with_tag(0x101)->title(), "      port 2: Near");
  EXPECT_EQ(names(dock0()), (std::vector<std::string>{"Near"}));
}

TEST(VolumeNames, EveryDiskArbitrationObjectTakenIsGivenBack) {
  auto h = dock_with_disk4(json::array({mounted("disk4s1", "EFI"), mounted("disk4s2", "Data"), unmounted("disk4s3", "U")}));
  h.open_menu_lines();
  h.eject(0x3FF);
  const auto& counts = h.sim().machine().disks().disk_arbitration().counts();
  EXPECT_GT(counts.descriptions_taken, 0u);
  EXPECT_EQ(counts.held(), 0u);
  EXPECT_EQ(counts.bad_releases, 0u);
}

}  // namespace
}  // namespace berth
