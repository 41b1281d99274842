// The slot cache of drive identification across calls, the time limit of the tools, and
// where the records go for any dock count.
#include <cstring>

#include "tests/drive/drive_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

DriveMachine two_drives() {
  return DriveMachine().drive(4, Report{}).drive(5, Report{.serial = "SECOND-DRIVE-00001"});
}

// Marks slots 0..count-1 as docks, as the driver-based scan leaves them.
void write_docks(std::uint32_t count) {
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    vtr_device_list[slot].valid = 1;
    vtr_device_list[slot].dev.dev_kind = 1;
    vtr_device_list[slot].dev.is_drive_product = 0;
    vtr_device_list[slot].dev.bus_num = 100 + slot;
    vtr_device_list[slot].dev.TB_GUID_high = 0x003D000A;
  }
}

void expect_docks_intact(std::uint32_t count) {
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    EXPECT_EQ(vtr_device_list[slot].dev.is_drive_product, 0) << "slot " << slot;
    EXPECT_EQ(vtr_device_list[slot].dev.bus_num, 100 + slot) << "slot " << slot;
    EXPECT_EQ(vtr_device_list[slot].dev.TB_GUID_high, 0x003D000Au) << "slot " << slot;
  }
}

TEST_F(DriveTest, ASecondCallWithTheSameDisksKeepsTheFullReports) {
  install(two_drives());
  // A first call makes both passes: the node count has changed from none.
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(full_runs(), 4u);
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(full_runs(), 4u);
  EXPECT_EQ(text_of(vtr_device_list[1].dev.sata_disk[0].serial), "SECOND-DRIVE-00001");
}

TEST_F(DriveTest, AChangedNumberOfDisksFetchesEveryFullReportAgain) {
  SimFixture& fixture = install(two_drives().disk(7, "Generic Flash Media"));
  rewrite_tools(fixture, two_drives().tools());
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(Old_Node, 2u);
  rewrite_tools(fixture, two_drives().disk(7, "Generic Flash Media").tools());
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(full_runs(), 6u);
  EXPECT_EQ(Old_Node, 3u);
}

TEST_F(DriveTest, ASlotKeepsOnlyTheReportOfItsOwnDisk) {
  SimFixture& fixture = install(DriveMachine().drive(4, Report{}).drive(5, Report{.serial = "SECOND-DRIVE-00001"}));
  rewrite_tools(fixture, DriveMachine().drive(4, Report{}).tools());
  ASSERT_EQ(scan_disk_node(0), 1u);
  // Another drive in place of the first, with the same number of disks.
  rewrite_tools(fixture, DriveMachine().drive(5, Report{.serial = "SECOND-DRIVE-00001"}).tools());
  ASSERT_EQ(scan_disk_node(0), 1u);
  EXPECT_EQ(full_runs(), 3u);
  EXPECT_EQ(vtr_device_list[0].dev.sata_disk[0].bsd_unit, 5u);
  EXPECT_EQ(text_of(vtr_device_list[0].dev.sata_disk[0].serial), "SECOND-DRIVE-00001");
}

TEST_F(DriveTest, AHangingToolIsTerminatedAtTheLimit) {
  gToolTimeoutSeconds = 0.3;
  install(DriveMachine().disk(4, "Vantrel Zel Caddy").reports(4, json{{"hang", true}}, Report{}.text()));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(scan_disk_node(0), 0u);
  const double waited = seconds_since(start);
  EXPECT_GE(waited, 0.29);
  EXPECT_LT(waited, 1.5);
  EXPECT_EQ(vtr_device_list[0].valid, 0);
}

TEST_F(DriveTest, ASlowQuickToolStillCountsADriveWhoseReportIsKept) {
  gToolTimeoutSeconds = 0.3;
  SimFixture& fixture = install(DriveMachine().drive(4, Report{}));
  ASSERT_EQ(scan_disk_node(0), 1u);
  rewrite_tools(fixture, DriveMachine()
                             .disk(4, "Vantrel Zel Caddy")
                             .reports(4, json{{"text", quick_answer("tm6721")}, {"sleep", 3}}, Report{}.text())
                             .tools());
  EXPECT_EQ(scan_disk_node(0), 1u);
  EXPECT_EQ(full_runs(), 2u);
}

TEST_F(DriveTest, ASlowFullReportLeavesTheSlotUnfilled) {
  gToolTimeoutSeconds = 0.3;
  install(DriveMachine()
              .disk(4, "Vantrel Zel Caddy")
              .reports(4, quick_answer("tm6721"), json{{"text", Report{}.text()}, {"sleep", 3}}));
  // The quick match alone counts the drive; its record is not valid.
  EXPECT_EQ(scan_disk_node(0), 1u);
  EXPECT_EQ(vtr_device_list[0].valid, 0);
}

TEST_F(DriveTest, AListingThatTimesOutChangesNothing) {
  gToolTimeoutSeconds = 0.3;
  SimFixture& fixture = install(two_drives());
  ASSERT_EQ(scan_disk_node(0), 2u);
  const auto before = vtr_device_list[0];
  rewrite_tools(fixture, json{{"diskutil_list", {{"hang", true}}}});
  EXPECT_EQ(scan_disk_node(3), 0u);
  EXPECT_EQ(Old_Txxx_Nodes, 0u);
  EXPECT_EQ(Old_Node, 2u);
  EXPECT_EQ(std::memcmp(&before, &vtr_device_list[0], sizeof before), 0);
}

TEST_F(DriveTest, ASmallerDockCountFreesTheSlotsTheDocksHeld) {
  install(two_drives());
  write_docks(2);
  ASSERT_EQ(scan_disk_node(2), 2u);
  EXPECT_EQ(vtr_device_list[2].dev.sata_disk[0].bsd_unit, 4u);
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(full_runs(), 6u);
  EXPECT_EQ(vtr_device_list[0].dev.is_drive_product, 1);
  EXPECT_EQ(vtr_device_list[0].dev.sata_disk[0].bsd_unit, 4u);
  EXPECT_EQ(vtr_device_list[1].dev.sata_disk[0].bsd_unit, 5u);
}

TEST_F(DriveTest, DrivesFollowMoreThanSixDocksWithoutOverwritingThem) {
  install(two_drives());
  write_docks(7);
  ASSERT_EQ(scan_disk_node(7), 2u);
  expect_docks_intact(7);
  EXPECT_EQ(vtr_device_list[7].dev.sata_disk[0].bsd_unit, 4u);
  EXPECT_EQ(vtr_device_list[8].dev.sata_disk[0].bsd_unit, 5u);
}

TEST_F(DriveTest, DrivesBeyondTheLastSlotAreLeftOut) {
  SimFixture& fixture = install(two_drives());
  write_docks(15);
  ASSERT_EQ(scan_disk_node(15), 1u);
  expect_docks_intact(15);
  EXPECT_EQ(vtr_device_list[15].dev.sata_disk[0].bsd_unit, 4u);
  EXPECT_NE(fixture.console().err().find("scan_disk_node: no free slot for /dev/disk5"), std::string::npos);
  write_docks(16);
  EXPECT_EQ(scan_disk_node(16), 0u);
  expect_docks_intact(16);
}

}  // namespace
}  // namespace berth
