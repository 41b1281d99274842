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
    vtr_device_list[slot].dev.is_drive_product = 0;
    vtr_device_list[slot].dev.bus_num = 100 + slot;
    vtr_device_list[slot].dev.TB_GUID_high = 0x003D000A;
  }
}

TEST_F(DriveTest, TheSameDisksKeepTheirFullReportsAndAChangedDiskSetFetchesThemAgain) {
  install(two_drives().disk(7, "Generic Flash Media"));
  rewrite_tools(two_drives().tools());
  // A first call makes both passes: the node count has changed from none.
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(full_runs(), 4u);
  EXPECT_EQ(Old_Node, 2u);
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(full_runs(), 4u);
  EXPECT_EQ(text_of(record(1).sata_disk[0].serial), "SECOND-DRIVE-00001");
  // Any disk plugged in, a drive or not, changes the node count.
  rewrite_tools(two_drives().disk(7, "Generic Flash Media").tools());
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(full_runs(), 6u);
  EXPECT_EQ(Old_Node, 3u);
}

TEST_F(DriveTest, ASlotKeepsOnlyTheReportOfItsOwnDisk) {
  install(two_drives());
  rewrite_tools(DriveMachine().drive(4, Report{}).tools());
  ASSERT_EQ(scan_disk_node(0), 1u);
  // Another drive in place of the first, with the same number of disks.
  rewrite_tools(DriveMachine().drive(5, Report{.serial = "SECOND-DRIVE-00001"}).tools());
  ASSERT_EQ(scan_disk_node(0), 1u);
  EXPECT_EQ(full_runs(), 3u);
  EXPECT_EQ(record(0).sata_disk[0].bsd_unit, 5u);
  EXPECT_EQ(text_of(record(0).sata_disk[0].serial), "SECOND-DRIVE-00001");
}

TEST_F(DriveTest, AToolThatHangsOrIsSlowIsTerminatedAtTheLimit) {
  struct Case {
    const char* name;
    bool report_kept;  // a first call with prompt tools has filled the slot
    json quick, full;
    std::uint32_t written;
    std::uint8_t valid;
    std::size_t full_runs;
  };
  const json slow_quick{{"text", quick_answer("tm6721")}, {"sleep", 3}};
  const Case cases[] = {
      {"hanging quick tool", false, json{{"hang", true}}, Report{}.text(), 0, 0, 0},
      {"slow quick tool, report kept", true, slow_quick, Report{}.text(), 1, 1, 2},
      {"slow full tool: counted, not filled", false, quick_answer("tm6721"),
       json{{"text", Report{}.text()}, {"sleep", 3}}, 1, 0, 2},
  };
  for (const Case& c : cases) {
    install(DriveMachine().drive(4, Report{}));
    gToolTimeoutSeconds = 0.3;
    if (c.report_kept) {
      ASSERT_EQ(scan_disk_node(0), 1u) << c.name;
    }
    rewrite_tools(DriveMachine().disk(4, "Vantrel Zel Caddy").reports(4, c.quick, c.full).tools());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(scan_disk_node(0), c.written) << c.name;
    const double waited = seconds_since(start);
    EXPECT_GE(waited, 0.29) << c.name;
    EXPECT_LT(waited, 1.5) << c.name;
    EXPECT_EQ(vtr_device_list[0].valid, c.valid) << c.name;
    EXPECT_EQ(full_runs(), c.full_runs) << c.name;
  }
}

TEST_F(DriveTest, AListingThatTimesOutChangesNothing) {
  gToolTimeoutSeconds = 0.3;
  install(two_drives());
  ASSERT_EQ(scan_disk_node(0), 2u);
  const auto before = vtr_device_list[0];
  rewrite_tools(json{{"diskutil_list", {{"hang", true}}}});
  EXPECT_EQ(scan_disk_node(3), 0u);
  EXPECT_EQ(Old_Txxx_Nodes, 0u);
  EXPECT_EQ(Old_Node, 2u);
  EXPECT_EQ(std::memcmp(&before, &vtr_device_list[0], sizeof before), 0);
}

TEST_F(DriveTest, ASmallerDockCountFreesTheSlotsTheDocksHeld) {
  install(two_drives());
  write_docks(2);
  ASSERT_EQ(scan_disk_node(2), 2u);
  EXPECT_EQ(record(2).sata_disk[0].bsd_unit, 4u);
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(full_runs(), 6u);
  EXPECT_EQ(record(0).is_drive_product, 1);
  EXPECT_EQ(record(0).sata_disk[0].bsd_unit, 4u);
  EXPECT_EQ(record(1).sata_disk[0].bsd_unit, 5u);
}

TEST_F(DriveTest, DriveRecordsFollowAnyNumberOfDocksAndNeverLeaveTheTable) {
  struct Case {
    std::uint32_t docks, written;
    const char* left_out;  // the first drive without a slot
  };
  for (const Case c : {Case{7, 2, nullptr}, Case{15, 1, "/dev/disk5"}, Case{16, 0, "/dev/disk4"}}) {
    install(two_drives());
    write_docks(c.docks);
    ASSERT_EQ(scan_disk_node(c.docks), c.written) << c.docks << " docks";
    const std::string context = std::to_string(c.docks) + " docks:";
    for (std::uint32_t slot = 0; slot < c.docks; ++slot)
      expect_fields(slot, {{"is_drive_product", 0}, {"bus_num", 100 + slot}, {"TB_GUID_high", 0x003D000A}}, context);
    for (std::uint32_t k = 0; k < c.written; ++k)
      EXPECT_EQ(record(c.docks + k).sata_disk[0].bsd_unit, 4 + k) << context;
    const std::string err = fixture_->console().err();
    const std::string line = std::string("scan_disk_node: no free slot for ") + (c.left_out ? c.left_out : "");
    EXPECT_EQ(err.find(line) != err.npos, c.left_out != nullptr) << context << err;
  }
}

}  // namespace
}  // namespace berth
