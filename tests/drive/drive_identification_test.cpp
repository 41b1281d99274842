// Drive identification over real tool processes: which disks become records, what a
// record holds, and what a short or odd report gives.
#include "tests/drive/drive_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

const sDevice& record(std::uint32_t slot) { return vtr_device_list[slot].dev; }

TEST_F(DriveTest, AToolThatEndsAtOnceCostsMilliseconds) {
  install(DriveMachine().drive(4, Report{}));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(scan_disk_node(0), 1u);
  // The listing, then quick match and full report in each of the two passes of a first
  // call: five runs, none of them waiting for a whole second.
  EXPECT_LT(seconds_since(start), 0.9);
  EXPECT_EQ(full_runs(), 2u);
}

TEST_F(DriveTest, ACaddyDriveOfTheTm6721FamilyFillsItsRecord) {
  install(DriveMachine().drive(4, Report{}));
  ASSERT_EQ(scan_disk_node(0), 1u);
  const sDevice& dev = record(0);
  EXPECT_EQ(vtr_device_list[0].valid, 1);
  EXPECT_EQ(dev.is_drive_product, 1);
  EXPECT_EQ(dev.dev_kind, 3u);
  EXPECT_EQ(dev.bus_num, 4u);
  EXPECT_EQ(dev.dev_num, 2u);
  EXPECT_EQ(dev.fun_num, 2u);
  EXPECT_EQ(dev.service, 255u);
  EXPECT_EQ(dev.service_thunderbolt, 255u);
  EXPECT_EQ(dev.isGUIDValid, 1u);
  EXPECT_EQ(dev.disk_cnt, 1u);
  EXPECT_EQ(text_of(dev.bios_ver), "ZC1.05.0012B");
  EXPECT_EQ(dev.sata_disk[0].bsd_unit, 4u);
  EXPECT_EQ(text_of(dev.sata_disk[0].model), "Zel Caddy");
  EXPECT_EQ(text_of(dev.sata_disk[0].serial), "ZC0123456789ABCDEF");
  EXPECT_EQ(dev.sata_disk[0].info_d, 38u);
  EXPECT_EQ(dev.TB_GUID_high, 9u);
  EXPECT_EQ(dev.TB_GUID_low, 0x0A1B2C3Du);
  for (std::uint32_t port = 1; port < kPortsPerController; ++port)
    EXPECT_EQ(dev.sata_disk[port].bsd_unit, 0u) << "fields the drive record does not name are not written";
}

TEST_F(DriveTest, AForteDriveOfTheTm478FamilyTakesIdentifierA) {
  Report forte{.marker = "tm478", .matching = "Matching - 2", .id_line = key_line("id", 15, "12345678")};
  install(DriveMachine().drive(6, forte, "VantrelZel Forte"));
  ASSERT_EQ(scan_disk_node(0), 1u);
  const sDevice& dev = record(0);
  EXPECT_EQ(dev.dev_kind, 2u);
  EXPECT_EQ(dev.dev_num, 1u);
  EXPECT_EQ(dev.fun_num, 1u);
  EXPECT_EQ(text_of(dev.sata_disk[0].model), "Zel Forte");
  EXPECT_EQ(dev.TB_GUID_high, 0u);
  EXPECT_EQ(dev.TB_GUID_low, 0x345678u);  // six characters from 17 after "id"
  const auto& lines = fixture_->log().lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "tm478\n"), lines.end());
}

TEST_F(DriveTest, ACaddyOfTheTm478FamilyMatchingSevenTakesIdentifierB) {
  Report caddy{.marker = "tm478", .matching = "Matching - 7", .id_line = key_line("id", 15, "12345678")};
  install(DriveMachine().drive(6, caddy));
  ASSERT_EQ(scan_disk_node(0), 1u);
  EXPECT_EQ(record(0).TB_GUID_high, 9u);
  EXPECT_EQ(record(0).TB_GUID_low, 0x12345678u);  // eight characters from 15 after "id"
}

TEST_F(DriveTest, AReportWithoutKeysOrCutShortGivesEmptyAndZeroFields) {
  install(DriveMachine()
              .disk(4, "Vantrel Zel Caddy")
              .reports(4, quick_answer("tm6721"), "Matching - 6 tm6721\nVersion   : V1")
              .disk(5, "Vantrel Zel Caddy")
              .reports(5, quick_answer("tm6721"), "tm6721 Matching"));
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(text_of(record(0).bios_ver), "V1");
  EXPECT_EQ(text_of(record(0).sata_disk[0].serial), "");
  EXPECT_EQ(record(0).sata_disk[0].info_d, 0u);
  EXPECT_EQ(record(0).TB_GUID_low, 0u);
  EXPECT_EQ(text_of(record(0).sata_disk[0].model), "Zel Caddy");
  EXPECT_EQ(text_of(record(1).bios_ver), "");
  EXPECT_EQ(text_of(record(1).sata_disk[0].model), "Zel Forte");
  EXPECT_EQ(record(1).sata_disk[0].bsd_unit, 5u);
}

TEST_F(DriveTest, WithoutADriveOfTheMakerNothingIsWritten) {
  install(DriveMachine().disk(2, "Generic Flash Media").disk(3, "WDC WD40EFRX"));
  EXPECT_EQ(scan_disk_node(0), 0u);
  EXPECT_EQ(vtr_device_list[0].valid, 0);
  EXPECT_EQ(record(0).bus_num, 0u);
  EXPECT_EQ(full_runs(), 0u);
  EXPECT_EQ(New_Node, 2u);
}

TEST_F(DriveTest, AQuickReportWithoutMatchingTakesNoSlot) {
  install(DriveMachine()
              .disk(4, "Vantrel Zel Forte")
              .reports(4, "Vantrel quick check\nno drive tm6721\n", Report{}.text())
              .drive(5, Report{.serial = "SECOND-DRIVE-00001"}));
  ASSERT_EQ(scan_disk_node(0), 1u);
  EXPECT_EQ(record(0).sata_disk[0].bsd_unit, 5u);
  EXPECT_EQ(text_of(record(0).sata_disk[0].serial), "SECOND-DRIVE-00001");
  EXPECT_EQ(full_runs(), 2u);
}

TEST_F(DriveTest, AFullReportWithoutMarkerLeavesTheRecordAloneButTheQuickMatchCounts) {
  install(DriveMachine().disk(4, "Vantrel Zel Caddy").reports(4, quick_answer("tm6721"), "Matching, no family"));
  EXPECT_EQ(scan_disk_node(0), 1u);
  EXPECT_EQ(vtr_device_list[0].valid, 0);
  EXPECT_EQ(record(0).bus_num, 4u);
  EXPECT_EQ(record(0).is_drive_product, 0);
}

TEST_F(DriveTest, ADiskWhoseMediaNameIsNotAProductIsNotQueried) {
  install(DriveMachine().disk(4, "Vantrel Zel").reports(4, quick_answer("tm6721"), Report{}.text()));
  EXPECT_EQ(scan_disk_node(0), 0u);
  EXPECT_TRUE(fixture_->log().lines().empty());
}

TEST_F(DriveTest, ALargeReportIsReadWhole) {
  Report report;
  // More than a megabyte before the keys: the values come from the report's very end.
  const std::string head = report.matching + " " + report.marker + "\n" + std::string(1'500'000, '.') + "\n";
  install(DriveMachine().disk(4, "Vantrel Zel Caddy").reports(4, quick_answer("tm6721"), head + report.text()));
  ASSERT_EQ(scan_disk_node(0), 1u);
  EXPECT_EQ(text_of(record(0).sata_disk[0].serial), "ZC0123456789ABCDEF");
  EXPECT_EQ(text_of(record(0).bios_ver), "ZC1.05.0012B");
}

TEST_F(DriveTest, TheSystemDiskIsNeverExaminedAndDisk12DoesNotCountAsDisk1) {
  install(DriveMachine()
              .drive(0, Report{})
              .drive(1, Report{})
              .listing("/dev/disk0 (internal)\n/dev/disk12 (external)\n"));
  EXPECT_EQ(scan_disk_node(0), 0u);
  EXPECT_EQ(New_Node, 1u);
  EXPECT_EQ(full_runs(), 0u);
}

TEST_F(DriveTest, ProductMediaNamesAreFoundAsSubstrings) {
  install(DriveMachine()
              .disk(1, "Vantrel Zel Caddy Forte Media")
              .disk(2, "ASMT    2105 Media")
              .disk(3, "Vantrel _ZelCaddy")
              .disk(4, "ASMT 2105")
              .disk(5, "vantrel zel caddy"));
  EXPECT_TRUE(GetDescription(1));
  EXPECT_TRUE(GetDescription(2));
  EXPECT_TRUE(GetDescription(3));
  EXPECT_FALSE(GetDescription(4));
  EXPECT_FALSE(GetDescription(5));
  EXPECT_FALSE(GetDescription(9));
  EXPECT_FALSE(GetDescription(0xFFFFFFFF));
  EXPECT_EQ(fixture_->machine().disks().disk_arbitration().counts().held(), 0u);
}

TEST_F(DriveTest, ADiskWithoutDescriptionOrSessionIsNoCandidate) {
  install_json(R"({"disks": [{"bsd": "disk4", "media_name": "Vantrel Zel Caddy", "description": false}]})");
  EXPECT_FALSE(GetDescription(4));
  EXPECT_EQ(fixture_->machine().disks().disk_arbitration().counts().lookups, 1u);
  EXPECT_EQ(fixture_->machine().disks().disk_arbitration().counts().held(), 0u);
  install_json(R"({"disks": [{"bsd": "disk4", "media_name": "Vantrel Zel Caddy"}],
                   "disk_arbitration": {"session": "fail"}})");
  EXPECT_FALSE(GetDescription(4));
  EXPECT_EQ(fixture_->machine().disks().disk_arbitration().counts().lookups, 0u);
}

}  // namespace
}  // namespace berth
