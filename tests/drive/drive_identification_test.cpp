// Drive identification over real tool processes: which disks become records, what a
// record holds, what a short or odd report gives; then the slot cache across calls, the
// time limit of the tools, and where the records go for any dock count; and the
// readers of the tools' outputs: disk names in the listing, report values that never
// read past the report's end, the scanners, and UTF-8 text.
#include <gtest/gtest.h>

#include <cstring>

#include "lib/regctl/tool_text.h"
#include "tests/drive/drive_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

// One first call of drive identification per case: the records written and their
// fields, the node count, the full-report runs (two passes, so two per drive) and
// whether the tm478 tool ran.
TEST_F(DriveTest, WhichDisksBecomeRecordsAndWhatTheyHold) {
  struct Case {
    const char* name;
    DriveMachine machine;
    std::uint32_t written, nodes;
    std::size_t full_runs;
    std::vector<json> slots;  // fields expected of slots 0, 1, ...
    bool tm478 = false;
  };
  const json caddy = drive_ports(disk(4, "Zel Caddy", "ZC0123456789ABCDEF", 38));
  const std::string id15 = key_line("id", 15, "12345678");  // A: 6 from 17 = 345678; B: 8 from 15
  const auto family = [](const Report& report) { return DriveMachine().drive(6, report, "VantrelZel Forte"); };
  const auto kind = [](std::uint32_t dev_kind, std::uint32_t location, std::uint32_t product, std::uint32_t id,
                       const char* model) {
    return json{{"dev_kind", dev_kind}, {"dev_num", location}, {"fun_num", location}, {"TB_GUID_high", product},
                {"TB_GUID_low", id}, {"sata", drive_ports(disk(6, model, "ZC0123456789ABCDEF", 38))}};
  };
  Report large;  // more than a megabyte before the keys: the values come from the report's very end
  large.matching = large.matching + " " + large.marker + "\n" + std::string(1'500'000, '.') + "\n" + large.matching;
  const Case cases[] = {
      {"a Caddy drive", DriveMachine().drive(4, Report{}), 1, 1, 2,
       {{{"valid", 1}, {"is_drive_product", 1}, {"bus_num", 4}, {"service", 255}, {"service_thunderbolt", 255},
         {"isGUIDValid", 1}, {"disk_cnt", 1}, {"bios_ver", "ZC1.05.0012B"}, {"sata", caddy}}}},
      {"tm6721 Caddy", family({}), 1, 1, 2, {kind(3, 2, 9, 0x0A1B2C3D, "Zel Caddy")}},
      {"tm6721 Forte", family({.matching = "Matching - 2"}), 1, 1, 2, {kind(3, 2, 0, 0x0A1B2C3D, "Zel Forte")}},
      {"tm478 Forte: identifier A", family({.marker = "tm478", .matching = "Matching - 2", .id_line = id15}), 1, 1, 2,
       {kind(2, 1, 0, 0x345678, "Zel Forte")}, true},
      {"tm478 Caddy 5: identifier A", family({.marker = "tm478", .matching = "Matching - 5", .id_line = id15}), 1, 1,
       2, {kind(2, 1, 9, 0x345678, "Zel Caddy")}, true},
      {"tm478 Caddy 7: identifier B", family({.marker = "tm478", .matching = "Matching - 7", .id_line = id15}), 1, 1,
       2, {kind(2, 1, 9, 0x12345678, "Zel Caddy")}, true},
      {"reports without keys or cut short give empty and zero fields",
       DriveMachine()
           .disk(4, "Vantrel Zel Caddy")
           .reports(4, quick_answer("tm6721"), "Matching - 6 tm6721\nVersion   : V1")
           .disk(5, "Vantrel Zel Caddy")
           .reports(5, quick_answer("tm6721"), "tm6721 Matching"),
       2, 2, 4,
       {{{"bios_ver", "V1"}, {"TB_GUID_low", 0}, {"sata", drive_ports(disk(4, "Zel Caddy"))}},
        {{"bios_ver", ""}, {"sata", drive_ports(disk(5, "Zel Forte"))}}}},
      // Disk 3's tools would answer for a drive, but its media name names no product.
      {"disks that are not the maker's are neither queried nor written",
       DriveMachine().disk(2, "Generic Flash Media").drive(3, Report{}, "Vantrel Zel"), 0, 2, 0,
       {{{"valid", 0}, {"bus_num", 0}}}},
      // Disk 5 counts through its quick match and takes slot 0 without a record.
      {"a quick match without matching takes no slot, a full report without marker writes no record",
       DriveMachine()
           .disk(4, "Vantrel Zel Forte")
           .reports(4, "Vantrel quick check\nno drive tm6721\n", Report{}.text())
           .disk(5, "Vantrel Zel Caddy")
           .reports(5, quick_answer("tm6721"), "Matching, no family")
           .drive(6, Report{.serial = "THIRD-DRIVE-000001"}),
       2, 3, 4,
       {{{"valid", 0}, {"bus_num", 5}, {"is_drive_product", 0}},
        {{"valid", 1}, {"sata", drive_ports(disk(6, "Zel Caddy", "THIRD-DRIVE-000001", 38))}}}},
      {"a large report is read whole", DriveMachine().drive(4, large), 1, 1, 2,
       {{{"bios_ver", "ZC1.05.0012B"}, {"sata", caddy}}}},
      {"the system disk is never examined and disk12 does not count as disk1",
       DriveMachine().drive(0, Report{}).drive(1, Report{}).listing("/dev/disk0 (internal)\n/dev/disk12 (external)\n"),
       0, 1, 0, {}},
  };
  for (const Case& c : cases) {
    install(c.machine);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(scan_disk_node(0), c.written) << c.name;
    // Five tool runs, none waiting a whole second (each run reads the tools section, which
    // takes longer with the large report in it).
    if (&c == &cases[0]) {
      EXPECT_LT(seconds_since(start), 0.9);
    }
    EXPECT_EQ(New_Node, c.nodes) << c.name;
    EXPECT_EQ(full_runs(), c.full_runs) << c.name;
    for (std::uint32_t slot = 0; slot < c.slots.size(); ++slot) expect_fields(slot, c.slots[slot], c.name);
    const auto& lines = fixture_->log().lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "tm478\n") > 0, c.tm478) << c.name;
    if (c.full_runs == 0) {
      EXPECT_TRUE(lines.empty()) << c.name << ": no tool ran";
    }
  }
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

// The slot cache, the time limit and the dock count.

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
  ASSERT_EQ(scan_disk_node(0), 2u);
  ASSERT_EQ(scan_disk_node(2), 2u);  // two docks came: the drives follow them
  EXPECT_EQ(record(2).sata_disk[0].bsd_unit, 4u);
  EXPECT_EQ(full_runs(), 6u);
  // The docks went: the slots they held fetch full reports again, even where an
  // earlier report of the same disk is still there.
  ASSERT_EQ(scan_disk_node(0), 2u);
  EXPECT_EQ(full_runs(), 8u);
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

TEST(ListsDisk, ANameCountsOnlyWhenNoOtherDigitFollows) {
  const std::string listing = "/dev/disk0 (internal):\n/dev/disk12 (external, physical):\n";
  EXPECT_TRUE(lists_disk(listing, 0));
  EXPECT_TRUE(lists_disk(listing, 12));
  EXPECT_FALSE(lists_disk(listing, 1));
  EXPECT_FALSE(lists_disk("/dev/disk12", 1));
  EXPECT_TRUE(lists_disk("/dev/disk12 (external)\n/dev/disk1 (external)\n", 1)) << "a later mention counts";
  EXPECT_TRUE(lists_disk("/dev/disk3", 3));
  EXPECT_TRUE(lists_disk("see /dev/disk3s1", 3));
  EXPECT_FALSE(lists_disk("disk3 (internal)", 3));
}

TEST(ReportValue, TakesTheFixedWindowAfterTheFirstKeyAndNeverReadsPastTheEnd) {
  const std::string report = "SN   : ABCDEFGHIJKLMNOPQR-tail\nSN   : second";
  EXPECT_EQ(report_value(report, "SN", 7, 18), "ABCDEFGHIJKLMNOPQR");
  EXPECT_EQ(report_value(report, "SN", 9, 18), "CDEFGHIJKLMNOPQR-t");
  EXPECT_EQ(report_value("no keys here", "Version", 12, 12), "");
  EXPECT_EQ(report_value("Version  : V1", "Version", 12, 12), "1");
  EXPECT_EQ(report_value("Version  : V", "Version", 12, 12), "");
  EXPECT_EQ(report_value("Version", "Version", 12, 12), "");
  EXPECT_EQ(report_value("", "id", 19, 8), "");
}

TEST(Scanners, ReadAsTheCLibraryScannersDo) {
  EXPECT_EQ(hex_value("  0x1A2b zz"), 0x1A2Bu);
  EXPECT_EQ(hex_value("DEADBEEF"), 0xDEADBEEFu);
  EXPECT_EQ(hex_value("12g4"), 0x12u);
  EXPECT_EQ(hex_value("xyz"), 0u);
  EXPECT_EQ(hex_value(""), 0u);
  EXPECT_EQ(decimal_value("42"), 42u);
  EXPECT_EQ(decimal_value(" 7C"), 7u);
  EXPECT_EQ(decimal_value("--"), 0u);
}

TEST(Utf8, AcceptsTextAndRefusesBrokenSequences) {
  EXPECT_TRUE(is_utf8("Matching - 5 tm6721"));
  EXPECT_TRUE(is_utf8("Temperature \xC2\xB0" "C \xE2\x82\xAC \xF0\x9F\x92\xBE"));
  EXPECT_FALSE(is_utf8("\xFF"));
  EXPECT_FALSE(is_utf8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(is_utf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(is_utf8("\xE2\x82"));          // cut short
  EXPECT_FALSE(is_utf8("\xF4\x90\x80\x80"));  // above U+10FFFF
}

}  // namespace
}  // namespace berth
