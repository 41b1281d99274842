// The volumes a disk contributes to its port's title and its dock's volume-name list.
#include <gtest/gtest.h>

#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;
using Lines = std::vector<std::string>;

Lines names(const sDevice& dev) { return Lines(dev.vol_names, dev.vol_names + dev.vol_name_cnt); }

// The port items of dock 0 as "NUMBER[: VOLUME][ off]", USB ports, then " / " and eSATA ports.
std::string port_items(AppHarness& h) {
  std::string ports;
  for (const auto& item : h.menu().items()) {
    const std::int64_t tag = item->tag();
    if (item->is_separator() || tag >= 0x10000 || (tag & 0xFF) == 0xFF) continue;
    if (!ports.empty()) ports += tag == 0x200 ? " / " : ", ";
    ports += item->title().substr(item->title().find("port ") + 5) + (item->is_enabled() ? "" : " off");
  }
  return ports;
}

TEST(VolumeNames, CountedVolumesFillTheListAndNameTheirPort) {
  json no_attributes = mounted("disk4s3", "NoAttrs");
  no_attributes["volume"]["attributes"] = false;
  json no_description = mounted("disk4s5", "Hidden");
  no_description["description"] = false;
  const DockSpec disk4{.usb = {4, std::nullopt, std::nullopt}};
  struct Case {
    const char* name;
    DockSpec dock;
    json disks;
    Lines names;
    std::string ports;
    json extra = json::object();
  };
  const Case cases[] = {
      {"protected names are skipped exactly as written", disk4,
       json::array({mounted("disk4s1", "EFI"), mounted("disk4s2", "Data"), mounted("disk4s3", "bootcamp"),
                    mounted("disk4s4", "Recovery HD"), mounted("disk4s5", "Boot OS X"), mounted("disk4s6", "BOOTCAMP")}),
       {"Data", "bootcamp"}, "1: Data, 2 off, 3 off / 1 off, 2 off"},
      {"only mounted volumes with readable attributes count", disk4,
       json::array({unmounted("disk4s1", "Sleeping"), mounted("disk4s2", "Awake"), no_attributes,
                    json{{"bsd", "disk4s4"}, {"volume", {{"path", "/Volumes/X"}}}}, no_description}),
       {"Awake"}, "1: Awake, 2 off, 3 off / 1 off, 2 off"},
      {"a whole-disk volume counts, slices keep their order, the first name is shown", disk4,
       json::array({mounted("disk4s5", "Five"), mounted("disk4", "Whole"), mounted("disk4s2", "Two")}),
       {"Whole", "Two", "Five"}, "1: Whole, 2 off, 3 off / 1 off, 2 off"},
      {"slice 32 is never looked at", disk4, json::array({mounted("disk4s31", "Last"), mounted("disk4s32", "Beyond")}),
       {"Last"}, "1: Last, 2 off, 3 off / 1 off, 2 off"},
      {"ports share the list in port order, USB then eSATA", DockSpec{.usb = {std::nullopt, 3, 2}, .sata = {5, std::nullopt}},
       json::array({mounted("disk2s1", "C"), mounted("disk3s1", "B1"), mounted("disk3s2", "B2"), mounted("disk5s1", "S")}),
       {"B1", "B2", "C", "S"}, "1 off, 2: B1, 3: C / 1: S, 2 off"},
      // Unit 259 cut to a byte is 3: the disk of another port, whose volume must not appear twice.
      {"a unit above 255 is a port that cannot be addressed", DockSpec{.usb = {259, 3, std::nullopt}},
       json::array({mounted("disk259s1", "Far"), mounted("disk3s1", "Near")}), {"Near"}, "1 off, 2: Near, 3 off / 1 off, 2 off"},
      {"no Disk Arbitration session counts nothing", disk4, json::array({mounted("disk4s2", "Data")}), {},
       "1 off, 2 off, 3 off / 1 off, 2 off", json{{"disk_arbitration", {{"session", "fail"}}}}},
  };
  for (const Case& c : cases) {
    AppHarness h(app_machine({c.dock}, c.disks, c.extra));
    h.open_menu_lines();
    EXPECT_EQ(names(vtr_device_list[0].dev), c.names) << c.name;
    EXPECT_EQ(port_items(h), c.ports) << c.name;
  }
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

TEST(VolumeNames, FreeSpaceIsInGigabytesAndEveryDiskArbitrationObjectTakenIsGivenBack) {
  AppHarness h(app_machine({DockSpec{.usb = {4, std::nullopt, std::nullopt}}},
                           json::array({mounted("disk4s1", "EFI"), mounted("disk4s2", "Data", 2'500'000'000),
                                        unmounted("disk4s3", "U")})));
  h.open_menu_lines();
  EXPECT_DOUBLE_EQ(vtr_device_list[0].dev.vol_free_gb[0], 2.5);
  h.eject(0x3FF);
  const auto& counts = h.sim().machine().disks().disk_arbitration().counts();
  EXPECT_GT(counts.descriptions_taken, 0u);
  EXPECT_EQ(counts.held(), 0u);
  EXPECT_EQ(counts.bad_releases, 0u);
  h.sim().machine().disks().disk_arbitration().disk_release(12345);
  EXPECT_EQ(counts.bad_releases, 1u) << "the count notices a handle given back that was never taken";
}

}  // namespace
}  // namespace berth
