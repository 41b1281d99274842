// Drive identification over real tool processes: the records it writes, its slot cache,
// the tools' time limit, the records after any number of docks; the tools' output readers.
#include <gtest/gtest.h>

#include <cstring>

#include "lib/regctl/tool_text.h"
#include "tests/drive/drive_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

// One first call of drive identification per case: the fields of the records written,
// whether the tm478 tool ran, the records written, the node count and the full-report
// runs (two passes, so two per drive).
TEST_F(DriveTest, WhichDisksBecomeRecordsAndWhatTheyHold) {
  struct Case {
    const char* name;
    DriveMachine machine;
    std::vector<json> slots;  // fields expected of slots 0, 1, ...
    bool tm478 = false;
    std::uint32_t written = 1, nodes = 1;
    std::size_t full_runs = 2;
  };
  const std::string id15 = key_line("id", 15, "12345678");  // A: 6 from 17 = 345678; B: 8 from 15
  const auto family = [](const Report& report) { return DriveMachine().drive(6, report, "VantrelZel Forte"); };
  const auto kind = [](unsigned dev_kind, unsigned location, unsigned product, std::uint32_t id, const char* model) {
    return json{{"valid", 1}, {"is_drive_product", 1}, {"bus_num", 6}, {"service", 255}, {"service_thunderbolt", 255},
                {"isGUIDValid", 1}, {"disk_cnt", 1}, {"bios_ver", "ZC1.05.0012B"}, {"dev_kind", dev_kind},
                {"dev_num", location}, {"fun_num", location}, {"TB_GUID_high", product}, {"TB_GUID_low", id},
                {"sata", drive_ports(disk(6, model, "ZC0123456789ABCDEF", 38))}};
  };
  Report large;  // more than a megabyte before the keys: the values come from the report's very end
  large.matching = large.matching + " " + large.marker + "\n" + std::string(1'500'000, '.') + "\n" + large.matching;
  const Case cases[] = {
      {"tm6721 Caddy", family({}), {kind(3, 2, 9, 0x0A1B2C3D, "Zel Caddy")}},
      {"tm6721 Forte", family({.matching = "Matching - 2"}), {kind(3, 2, 0, 0x0A1B2C3D, "Zel Forte")}},
      {"tm478 Forte: identifier A", family({.marker = "tm478", .matching = "Matching - 2", .id_line = id15}),
       {kind(2, 1, 0, 0x345678, "Zel Forte")}, true},
      {"tm478 Caddy 5: identifier A", family({.marker = "tm478", .matching = "Matching - 5", .id_line = id15}),
       {kind(2, 1, 9, 0x345678, "Zel Caddy")}, true},
      {"tm478 Caddy 7: identifier B", family({.marker = "tm478", .matching = "Matching - 7", .id_line = id15}),
       {kind(2, 1, 9, 0x12345678, "Zel Caddy")}, true},
      {"a large report is read whole", family(large), {kind(3, 2, 9, 0x0A1B2C3D, "Zel Caddy")}},
      {"reports without keys or cut short give empty and zero fields",
       DriveMachine()
           .disk(4, "Vantrel Zel Caddy")
           .reports(4, quick_answer("tm6721"), "Matching - 6 tm6721\nVersion   : V1")
           .disk(5, "Vantrel Zel Caddy")
           .reports(5, quick_answer("tm6721"), "tm6721 Matching"),
       {{{"bios_ver", "V1"}, {"TB_GUID_low", 0}, {"sata", drive_ports(disk(4, "Zel Caddy"))}},
        {{"bios_ver", ""}, {"sata", drive_ports(disk(5, "Zel Forte"))}}},
       false, 2, 2, 4},
      // Disk 3's tools would answer for a drive, but its media name names no product.
      {"disks that are not the maker's are neither queried nor written",
       DriveMachine().disk(2, "Generic Flash Media").drive(3, {}, "Vantrel Zel"), {{{"valid", 0}, {"bus_num", 0}}},
       false, 0, 2, 0},
      // Disk 5 counts through its quick match and takes slot 0 without a record.
      {"a quick match without matching takes no slot, a full report without marker writes no record",
       DriveMachine()
           .disk(4, "Vantrel Zel Forte")
           .reports(4, "Vantrel quick check\nno drive tm6721\n", Report{}.text())
           .disk(5, "Vantrel Zel Caddy")
           .reports(5, quick_answer("tm6721"), "Matching, no family")
           .drive(6, {.serial = "THIRD-DRIVE-000001"}),
       {{{"valid", 0}, {"bus_num", 5}, {"is_drive_product", 0}},
        {{"valid", 1}, {"sata", drive_ports(disk(6, "Zel Caddy", "THIRD-DRIVE-000001", 38))}}},
       false, 2, 3, 4},
      // With disk 1 unlisted, disk 12 would count twice if it were taken for disk 1.
      {"the system disk is never examined and disk12 does not count as disk1",
       DriveMachine().drive(0).disk(12, "Generic Flash Media"), {}, false, 0, 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install(c.machine.text());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(scan_disk_node(0), c.written);
    // Five tool runs, none waiting a whole second: a tool's end is noticed at once.
    EXPECT_TRUE(&c != &cases[0] || seconds_since(start) < 0.9) << seconds_since(start);
    EXPECT_EQ(New_Node, c.nodes);
    EXPECT_EQ(full_runs(), c.full_runs);
    for (std::uint32_t slot = 0; slot < c.slots.size(); ++slot) expect_fields(slot, c.slots[slot]);
    const auto& lines = fixture_->log().lines();
    EXPECT_EQ(std::ranges::count(lines, "tm478\n") > 0, c.tm478);
    EXPECT_EQ(lines.empty(), c.full_runs == 0) << "a tool ran";
  }
}

TEST_F(DriveTest, ProductMediaNamesAreCaseSensitiveSubstringsOfADescriptionThatCanBeRead) {
  const std::pair<const char*, bool> names[] = {
      {"Vantrel Zel Caddy Forte Media", true}, {"x VantrelZel Caddy Forte", true}, {"VantrelZel Forte", true},
      {"Vantrel Zel Forte", true}, {"ASMT    2105 Media", true}, {"Vantrel Zel Caddy", true},
      {"VantrelZel Caddy", true}, {"Vantrel _ZelCaddy", true}, {"Vantrel_ZelCaddy", true},
      {"ASMT 2105", false}, {"vantrel zel caddy", false}, {"Vantrel Zel", false}};
  DriveMachine machine;
  for (std::uint32_t unit = 1; unit <= std::size(names); ++unit) machine.disk(unit, names[unit - 1].first);
  const auto& arbitration = install(machine.text()).machine().disks().disk_arbitration();
  for (std::uint32_t unit = 1; unit <= std::size(names); ++unit)
    EXPECT_EQ(GetDescription(unit), names[unit - 1].second) << names[unit - 1].first;
  EXPECT_FALSE(GetDescription(20)) << "no such disk";
  EXPECT_FALSE(GetDescription(0xFFFFFFFF));
  EXPECT_EQ(arbitration.counts().held(), 0u);
  install(R"({"disks": [{"bsd": "disk4", "media_name": "Vantrel Zel Caddy", "description": false}]})");
  EXPECT_FALSE(GetDescription(4));
  EXPECT_EQ(fixture_->machine().disks().disk_arbitration().counts().lookups, 1u);
  EXPECT_EQ(fixture_->machine().disks().disk_arbitration().counts().held(), 0u);
}

// The slot cache, the time limit and the dock count.

DriveMachine two_drives() { return DriveMachine().drive(4).drive(5, {.serial = "SECOND-DRIVE-00001"}); }

TEST_F(DriveTest, FullReportsAreKeptForTheSameDisksInTheirSlotsAndAListingThatTimesOutChangesNothing) {
  // A call with `docks` docks writes both drives after them, with these disks, and has
  // fetched `runs` full reports since the start.
  const auto scan = [&](std::uint32_t docks, std::vector<std::uint32_t> units, std::size_t runs) {
    SCOPED_TRACE(runs);
    EXPECT_EQ(scan_disk_node(docks), 2u);
    EXPECT_EQ((std::vector{record(docks).sata_disk[0].bsd_unit, record(docks + 1).sata_disk[0].bsd_unit}), units);
    EXPECT_EQ(full_runs(), runs);
  };
  install(two_drives().disk(7, "Generic Flash Media").drive(8).text());
  rewrite_tools(two_drives().tools());
  // A first call makes both passes: the node count has changed from none.
  scan(0, {4, 5}, 4);
  EXPECT_EQ(Old_Node, 2u);
  scan(0, {4, 5}, 4);
  // Any disk plugged in, a drive or not, changes the node count.
  rewrite_tools(two_drives().disk(7, "Generic Flash Media").tools());
  scan(0, {4, 5}, 6);
  EXPECT_EQ(Old_Node, 3u);
  // As many disks, but disk 4 gave way to disk 8: each slot now holds another disk, whose
  // own report it fetches.
  rewrite_tools(DriveMachine().drive(5, {.serial = "SECOND-DRIVE-00001"}).drive(8).disk(7, "Generic").tools());
  scan(0, {5, 8}, 8);
  EXPECT_EQ(text_of(record(0).sata_disk[0].serial), "SECOND-DRIVE-00001");
  // Two docks came: the drives follow them into slots never filled.
  scan(2, {5, 8}, 10);
  // The docks went: the slots they held fetch full reports again, even where an
  // earlier report of the same disk is still there.
  scan(0, {5, 8}, 12);
  // A listing that times out changes nothing.
  gToolTimeoutSeconds = 0.3;
  const auto before = vtr_device_list[0];
  rewrite_tools(json{{"diskutil_list", {{"hang", true}}}});
  EXPECT_EQ(scan_disk_node(3), 0u);
  EXPECT_EQ(Old_Txxx_Nodes, 0u);
  EXPECT_EQ(Old_Node, 3u);
  EXPECT_EQ(std::memcmp(&before, &vtr_device_list[0], sizeof before), 0);
}

TEST_F(DriveTest, AToolThatHangsOrIsSlowIsTerminatedAtTheLimit) {
  struct Case {
    const char* name;
    bool report_kept;  // a first call with prompt tools has filled the slot
    json quick, full;
    std::uint32_t written, valid, full_runs;
  };
  const std::string quick = quick_answer("tm6721"), full = Report{}.text();
  const Case cases[] = {
      {"hanging quick tool", false, json{{"hang", true}}, full, 0, 0, 0},
      {"slow quick tool, report kept", true, {{"text", quick}, {"sleep", 3}}, full, 1, 1, 2},
      {"slow full tool: counted, not filled", false, quick, {{"text", full}, {"sleep", 3}}, 1, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install(DriveMachine().drive(4).text());
    gToolTimeoutSeconds = 0.3;
    if (c.report_kept) {
      ASSERT_EQ(scan_disk_node(0), 1u);
    }
    rewrite_tools(DriveMachine().disk(4, "Vantrel Zel Caddy").reports(4, c.quick, c.full).tools());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(scan_disk_node(0), c.written);
    EXPECT_GE(seconds_since(start), 0.29);
    EXPECT_LT(seconds_since(start), 1.5);
    EXPECT_EQ(vtr_device_list[0].valid, c.valid);
    EXPECT_EQ(full_runs(), c.full_runs);
  }
}

TEST_F(DriveTest, DriveRecordsFollowAnyNumberOfDocksAndNeverLeaveTheTable) {
  struct Case {
    std::uint32_t docks, written;
    std::string left_out;  // the first drive without a slot
  };
  for (const Case& c : {Case{7, 2, ""}, Case{15, 1, "/dev/disk5"}, Case{16, 0, "/dev/disk4"}}) {
    SCOPED_TRACE(std::to_string(c.docks) + " docks");
    install(two_drives().text());
    for (std::uint32_t slot = 0; slot < c.docks; ++slot) {  // as the driver-based scan leaves them
      vtr_device_list[slot].valid = 1;
      vtr_device_list[slot].dev.bus_num = 100 + slot;
    }
    ASSERT_EQ(scan_disk_node(c.docks), c.written);
    for (std::uint32_t slot = 0; slot < c.docks; ++slot)
      expect_fields(slot, {{"valid", 1}, {"is_drive_product", 0}, {"bus_num", 100 + slot}});
    for (std::uint32_t k = 0; k < c.written; ++k) EXPECT_EQ(record(c.docks + k).sata_disk[0].bsd_unit, 4 + k);
    const std::string err = fixture_->console().err();
    EXPECT_EQ(err.find("scan_disk_node: no free slot for " + c.left_out) != err.npos, !c.left_out.empty()) << err;
  }
}

// The readers of the tools' outputs never read past the text's end: what each gives for
// a text, shown as text.
TEST(ToolText, ListingsReportsNumbersAndUtf8) {
  const auto n = [](std::uint32_t value) { return std::to_string(value); };
  const auto version = [](std::string_view report) { return std::string(report_value(report, "Version", 12, 12)); };
  const std::pair<std::string, std::string> reads[] = {
      // A disk name counts only where no other digit follows it, at any of its mentions.
      {n(lists_disk("/dev/disk12 (external)\n", 1)), "0"},
      {n(lists_disk("/dev/disk12 (external)\n/dev/disk1 (external)\n", 1)), "1"},
      {n(lists_disk("see /dev/disk3s1", 3)), "1"}, {n(lists_disk("disk3 (internal)", 3)), "0"},
      // A value is the fixed window after the first key, cut where the report ends.
      {version("Version  : V1"), "1"}, {version("Version  : V"), ""}, {version("Version"), ""},
      {n(hex_value("  0x1A2b zz")), n(0x1A2B)}, {n(hex_value("12g4")), n(0x12)}, {n(hex_value("xyz")), "0"},
      {n(decimal_value(" 7C")), "7"}, {n(decimal_value("--")), "0"},
      {n(is_utf8("Temperature \xC2\xB0" "C \xE2\x82\xAC \xF0\x9F\x92\xBE")), "1"},
      // Overlong, surrogate, cut short, above U+10FFFF.
      {n(is_utf8("\xFF")), "0"}, {n(is_utf8("\xC0\xAF")), "0"}, {n(is_utf8("\xED\xA0\x80")), "0"},
      {n(is_utf8("\xE2\x82")), "0"}, {n(is_utf8("\xF4\x90\x80\x80")), "0"},
  };
  for (std::size_t row = 0; row < std::size(reads); ++row) EXPECT_EQ(reads[row].first, reads[row].second) << row;
}

}  // namespace
}  // namespace berth
