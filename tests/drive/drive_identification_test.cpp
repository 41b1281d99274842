// Drive identification over real tool processes: which disks become records, what a
// record holds, and what a short or odd report gives.
#include "tests/drive/drive_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

TEST_F(DriveTest, ACaddyDriveFillsItsRecordAndToolsThatEndAtOnceCostMilliseconds) {
  install(DriveMachine().drive(4, Report{}));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(scan_disk_node(0), 1u);
  // The listing, then quick match and full report in each of the two passes of a first
  // call: five runs, none of them waiting for a whole second.
  EXPECT_LT(seconds_since(start), 0.9);
  EXPECT_EQ(full_runs(), 2u);
  expect_fields(0, {{"valid", 1}, {"is_drive_product", 1}, {"bus_num", 4}, {"service", 255},
                    {"service_thunderbolt", 255}, {"isGUIDValid", 1}, {"disk_cnt", 1}, {"bios_ver", "ZC1.05.0012B"},
                    {"sata", drive_ports(disk(4, "Zel Caddy", "ZC0123456789ABCDEF", 38))}});
}

TEST_F(DriveTest, FamilyAndMatchingLineDecideKindProductAndIdentifier) {
  struct Case {
    const char* name;
    Report report;
    std::uint32_t dev_kind, location, product, identifier;
    const char* model;
  };
  const std::string id15 = key_line("id", 15, "12345678");  // A: 6 from 17 = 345678; B: 8 from 15
  const Case cases[] = {
      {"tm6721 Caddy", {}, 3, 2, 9, 0x0A1B2C3D, "Zel Caddy"},
      {"tm6721 Forte", {.matching = "Matching - 2"}, 3, 2, 0, 0x0A1B2C3D, "Zel Forte"},
      {"tm478 Forte: identifier A", {.marker = "tm478", .matching = "Matching - 2", .id_line = id15}, 2, 1, 0,
       0x345678, "Zel Forte"},
      {"tm478 Caddy 5: identifier A", {.marker = "tm478", .matching = "Matching - 5", .id_line = id15}, 2, 1, 9,
       0x345678, "Zel Caddy"},
      {"tm478 Caddy 7: identifier B", {.marker = "tm478", .matching = "Matching - 7", .id_line = id15}, 2, 1, 9,
       0x12345678, "Zel Caddy"},
  };
  for (const Case& c : cases) {
    install(DriveMachine().drive(6, c.report, "VantrelZel Forte"));
    ASSERT_EQ(scan_disk_node(0), 1u) << c.name;
    expect_fields(0, {{"dev_kind", c.dev_kind}, {"dev_num", c.location}, {"fun_num", c.location},
                      {"TB_GUID_high", c.product}, {"TB_GUID_low", c.identifier}}, c.name);
    EXPECT_EQ(text_of(record(0).sata_disk[0].model), c.model) << c.name;
    const auto& lines = fixture_->log().lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "tm478\n") > 0, c.report.marker == "tm478") << c.name;
  }
}

TEST_F(DriveTest, AReportWithoutKeysOrCutShortGivesEmptyAndZeroFields) {
  install(DriveMachine()
              .disk(4, "Vantrel Zel Caddy")
              .reports(4, quick_answer("tm6721"), "Matching - 6 tm6721\nVersion   : V1")
              .disk(5, "Vantrel Zel Caddy")
              .reports(5, quick_answer("tm6721"), "tm6721 Matching"));
  ASSERT_EQ(scan_disk_node(0), 2u);
  expect_fields(0, {{"bios_ver", "V1"}, {"TB_GUID_low", 0}, {"sata", drive_ports(disk(4, "Zel Caddy"))}});
  expect_fields(1, {{"bios_ver", ""}, {"sata", drive_ports(disk(5, "Zel Forte"))}});
}

TEST_F(DriveTest, DisksThatAreNotTheMakersDrivesAreNeitherQueriedNorWritten) {
  // Disk 3's tools would answer for a drive, but its media name names no product.
  install(DriveMachine().disk(2, "Generic Flash Media").drive(3, Report{}, "Vantrel Zel"));
  EXPECT_EQ(scan_disk_node(0), 0u);
  EXPECT_EQ(New_Node, 2u);
  EXPECT_EQ(vtr_device_list[0].valid, 0);
  EXPECT_EQ(record(0).bus_num, 0u);
  EXPECT_TRUE(fixture_->log().lines().empty()) << "no tool ran";
}

TEST_F(DriveTest, AQuickMatchWithoutMatchingTakesNoSlotAndAFullReportWithoutMarkerWritesNoRecord) {
  install(DriveMachine()
              .disk(4, "Vantrel Zel Forte")
              .reports(4, "Vantrel quick check\nno drive tm6721\n", Report{}.text())
              .disk(5, "Vantrel Zel Caddy")
              .reports(5, quick_answer("tm6721"), "Matching, no family")
              .drive(6, Report{.serial = "THIRD-DRIVE-000001"}));
  // Disk 5 counts through its quick match and takes slot 0 without a record.
  ASSERT_EQ(scan_disk_node(0), 2u);
  expect_fields(0, {{"valid", 0}, {"bus_num", 5}, {"is_drive_product", 0}});
  expect_fields(1, {{"valid", 1}, {"sata", drive_ports(disk(6, "Zel Caddy", "THIRD-DRIVE-000001", 38))}});
  EXPECT_EQ(full_runs(), 4u) << "disks 5 and 6 in each pass, never disk 4";
}

TEST_F(DriveTest, ALargeReportIsReadWhole) {
  Report report;
  // More than a megabyte before the keys: the values come from the report's very end.
  const std::string head = report.matching + " " + report.marker + "\n" + std::string(1'500'000, '.') + "\n";
  install(DriveMachine().disk(4, "Vantrel Zel Caddy").reports(4, quick_answer("tm6721"), head + report.text()));
  ASSERT_EQ(scan_disk_node(0), 1u);
  expect_fields(0, {{"bios_ver", "ZC1.05.0012B"}, {"sata", drive_ports(disk(4, "Zel Caddy", "ZC0123456789ABCDEF", 38))}});
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

TEST_F(DriveTest, ProductMediaNamesAreFoundAsCaseSensitiveSubstrings) {
  const std::pair<const char*, bool> names[] = {
      {"Vantrel Zel Caddy Forte Media", true}, {"x VantrelZel Caddy Forte", true}, {"VantrelZel Forte", true},
      {"Vantrel Zel Forte", true}, {"ASMT    2105 Media", true}, {"Vantrel Zel Caddy", true},
      {"VantrelZel Caddy", true}, {"Vantrel _ZelCaddy", true}, {"Vantrel_ZelCaddy", true},
      {"ASMT 2105", false}, {"vantrel zel caddy", false}, {"Vantrel Zel", false}};
  DriveMachine machine;
  for (std::uint32_t unit = 1; unit <= std::size(names); ++unit) machine.disk(unit, names[unit - 1].first);
  install(machine);
  for (std::uint32_t unit = 1; unit <= std::size(names); ++unit)
    EXPECT_EQ(GetDescription(unit), names[unit - 1].second) << names[unit - 1].first;
  EXPECT_FALSE(GetDescription(20)) << "no such disk";
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
