// berthctl driver-scan end to end: the JSON contract on the demo machine (its dock and
// one drive of each product family, found by running the stand-in tools), the human
// table, and a bad tools section.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "tests/support/run_berthctl.h"

namespace berth {
namespace {

using namespace berth::testing;
using nlohmann::json;

TEST(BerthctlDriverScan, JsonShowsTheDemoDockAndADriveOfEachFamily) {
  const auto result = run_berthctl({"driver-scan", "--json"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const json doc = json::parse(result.last_line());
  EXPECT_EQ(doc["status"], "0x00000000");
  ASSERT_EQ(doc["count"], 3);
  ASSERT_EQ(doc["records"].size(), 3u);
  // Each record against the fields it must show; a failure names the record and field.
  const json expected[] = {
      {{"slot", 0}, {"valid", 1}, {"dev_kind", 1}, {"is_drive_product", 0}, {"bus_num", 134}, {"vid", "0x1B21"},
       {"did", "0x0612"}, {"sub_vid", "0x1AB6"}, {"sub_did", "0x1060"}, {"spi_flash_id", "0x001330EF"},
       {"bios_ver", "V1.0.20-R06"}, {"disk_cnt", 1}, {"tb_guid_high", "0x003D000A"}},
      {{"is_drive_product", 1}, {"dev_kind", 3}, {"bus_num", 6}, {"tb_guid_high", "0x00000009"},
       {"tb_guid_low", "0x5A3C19E0"}},
      {{"dev_kind", 2}, {"dev_num", 1}, {"tb_guid_high", "0x00000000"}, {"tb_guid_low", "0x0010F0A7"},
       {"bios_ver", "ZF2.01.0003A"}}};
  for (std::size_t i = 0; i < std::size(expected); ++i)
    for (const auto& [key, value] : expected[i].items()) EXPECT_EQ(doc["records"][i][key], value) << i << ": " << key;
  ASSERT_EQ(doc["records"][0]["sata"].size(), 4u);
  EXPECT_EQ(doc["records"][0]["sata"][1],
            (json{{"model", "Vantrel Archive 4TB"}, {"serial", "VA4T00123"}, {"bsd_unit", 5}, {"info_d", 0}}));
  EXPECT_EQ(doc["records"][1]["sata"][0],
            (json{{"model", "Zel Caddy"}, {"serial", "ZC2406110000420017"}, {"bsd_unit", 6}, {"info_d", 36}}));
  EXPECT_EQ(doc["records"][2]["sata"][0]["model"], "Zel Forte");
}

TEST(BerthctlDriverScan, HumanTableNamesEachRecord) {
  const auto result = run_berthctl({"driver-scan"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_NE(result.out.find("3 records"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("slot 0: dock at 134:0:0"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("slot 1: Zel Caddy on disk6"), std::string::npos) << result.out;
  EXPECT_NE(result.out.find("slot 2: Zel Forte on disk7"), std::string::npos) << result.out;
}

TEST(BerthctlDriverScan, AMachineWithoutDriverListsItsDrivesOnly) {
  const std::string machine = write_temp("berth-drives-only.json", R"({
    "disks": [{"bsd": "disk4", "media_name": "Vantrel_ZelCaddy"}],
    "tools": {"diskutil_list": "/dev/disk4 (external, physical):\n",
              "reports": {"/dev/disk4": {"ltr": "Matching tm478", "full": "Matching - 8 tm478"}}}})");
  const auto result = run_berthctl({"--machine", machine, "driver-scan", "--json"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const json doc = json::parse(result.last_line());
  ASSERT_EQ(doc["count"], 1);
  EXPECT_EQ(doc["records"][0]["sata"][0]["model"], "Zel Caddy");
  EXPECT_EQ(doc["records"][0]["sata"][0]["bsd_unit"], 4);
}

TEST(BerthctlDriverScan, ABadToolsSectionGivesOneLineWithItsPlace) {
  const std::string machine =
      write_temp("berth-bad-tools.json", R"({"tools": {"reports": {"/dev/disk4": {"full": {"sleep": -2}}}}})");
  const auto result = run_berthctl({"--machine", machine, "driver-scan"});
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_NE(result.err.find("at /tools/reports/~1dev~1disk4/full/sleep"), std::string::npos) << result.err;
}

}  // namespace
}  // namespace berth
