// berthctl scan end to end: the JSON contract, the human table and bad input.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "tests/support/machine_builder.h"
#include "tests/support/run_berthctl.h"
#include "tests/support/sim_fixture.h"

namespace berth {
namespace {

using namespace berth::testing;
using nlohmann::json;

TEST(BerthctlScan, JsonDescribesTheDemoMachinesDock) {
  const auto result = run_berthctl({"scan", "--json"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const json doc = json::parse(result.last_line());
  EXPECT_EQ(doc["status"], "0x00000000");
  EXPECT_EQ(doc["count"], 1);
  const json& dock = doc["docks"][0];
  EXPECT_EQ(dock["slot"], 0);
  EXPECT_EQ(dock["valid"], 1);
  EXPECT_EQ(dock["dev_kind"], 1);
  EXPECT_EQ(dock["type"], 10);
  EXPECT_EQ(dock["tb_guid_high"], "0x003D000A");
  EXPECT_EQ(dock["tb_guid_low"], "0x12345678");
  EXPECT_EQ(dock["bus_num"], 133);
  ASSERT_EQ(dock["usb"].size(), 4u);
  EXPECT_EQ(dock["usb"][1], (json{{"bsd_unit", 3}, {"media_type", ""}}));
  ASSERT_EQ(dock["sata"].size(), 4u);
  EXPECT_EQ(dock["sata"][1], (json{{"bsd_unit", 5}}));
  EXPECT_GE(doc["tables"]["pci"].get<int>(), 5);
  EXPECT_EQ(doc["tables"]["pci"], doc["tables"]["usb_candidates"]);
  const json& tb = doc["tables"]["thunderbolt"][0];
  EXPECT_EQ(tb["is_guid_valid"], 1);
  EXPECT_EQ(tb["tb_guid_high"], "0x003D000A");
  EXPECT_GT(tb["subtree"].get<int>(), 3);
}

TEST(BerthctlScan, MachineFileAndHumanTable) {
  const auto result = run_berthctl({"--machine", (machines_dir() / "dock-type10.json").string(), "scan"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_NE(result.out.find("1 dock"), std::string::npos);
  EXPECT_NE(result.out.find("USB port 2:   disk3"), std::string::npos);
  EXPECT_NE(result.out.find("eSATA port 2: disk5"), std::string::npos);
}

TEST(BerthctlScan, BadInputGivesOneLineNamingFileAndPlace) {
  const std::string wrong_kind = write_temp(
      "berth-wrong-kind.json",
      R"({"registry": {"roots": [{"name": "P", "class": "IOPCIDevice", "props": [["vendor-id", {"data": 12}]]}]}})");
  const std::string malformed = write_temp("berth-malformed.json", "{\"registry\": {\"roots\": [}");
  const struct {
    std::string file;
    std::string expected;
  } cases[] = {
      {"/nonexistent/machine.json", "/nonexistent/machine.json: cannot open the file"},
      {malformed, malformed + ": malformed JSON"},
      {wrong_kind, wrong_kind + ": at /registry/roots/0/props/0/1/data: expected a string, found the number 12"},
  };
  for (const auto& c : cases) {
    const auto result = run_berthctl({"--machine", c.file, "scan", "--json"});
    EXPECT_EQ(result.exit_status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err.rfind("berthctl: " + c.expected, 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

TEST(BerthctlScan, TextCutInsideACharacterStillGivesAJsonDocument) {
  // "Type" is cut to 15 bytes, which splits the eighth two-byte character.
  const json medium = entry("m", "IOMedia", json::array({prop_str("Type", "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"), prop_num("BSD Unit", 3)}));
  const json port = entry("p", "Port", json::array({prop_num("PortNum", 1)}), json::array({medium}));
  const std::string file = write_temp("berth-cut-text.json",
                                      machine(json::array({thunderbolt("TB", 0x003D0006, 1, json::array({pci_device("usb", kUSBController, json::array({port}))}))})));
  const auto result = run_berthctl({"--machine", file, "scan", "--json"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  const json doc = json::parse(result.last_line());
  EXPECT_EQ(doc["docks"][0]["usb"][0]["media_type"], "\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\ufffd");
}

TEST(BerthctlScan, UnknownCommandOrArgumentIsAUsageError) {
  EXPECT_EQ(run_berthctl({"frobnicate"}).exit_status, 2);
  EXPECT_EQ(run_berthctl({"scan", "--bogus"}).exit_status, 2);
  EXPECT_EQ(run_berthctl({"--machine"}).exit_status, 2);
}

}  // namespace
}  // namespace berth
