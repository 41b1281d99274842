// berthctl menu and eject end to end, on machine files: the JSON contract the project's
// checks read, and the errors.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/run_berthctl.h"
#include "tests/support/sim_fixture.h"

namespace berth {
namespace {

using namespace berth::testing;
using json = nlohmann::ordered_json;  // keeps the order the command wrote

const std::string kMachine = (machines_dir() / "app-dock10-volumes.json").string();

json run_json(const std::vector<std::string>& args, int expected_status = 0) {
  const auto result = run_berthctl(args);
  EXPECT_EQ(result.exit_status, expected_status) << result.err;
  return json::parse(result.last_line());
}

const json* item_tagged(const json& menu, const std::string& tag) {
  for (const json& item : menu["items"])
    if (item.value("tag", "") == tag) return &item;
  return nullptr;
}

TEST(BerthctlMenu, ItemsCarryTheirFieldsAndOmitWhatDoesNotApply) {
  const json menu = run_json({"--machine", kMachine, "menu", "--json"});
  ASSERT_EQ(menu["items"].size(), 11u);
  EXPECT_EQ(menu["items"][1], json({{"separator", true}}));
  const json* eject_all = item_tagged(menu, "0x000003FF");
  ASSERT_NE(eject_all, nullptr);
  EXPECT_EQ(eject_all->dump(),
            R"({"separator":false,"title":"","tag":"0x000003FF","enabled":true,"action":"ibac_ejectVolumes:",)"
            R"("tooltip":"Eject all volumes","attributed":[{"image":"unit_1"},)"
            R"({"text":" Eject all volumes ","size":14.0,"baseline":5.0},{"image":"eject"}]})");
  const json* port2 = item_tagged(menu, "0x00000101");
  ASSERT_NE(port2, nullptr);
  EXPECT_EQ(port2->dump(), R"({"separator":false,"title":"      port 2: Photos","tag":"0x00000101","enabled":true,)"
                           R"("action":"ibac_ejectVolumes:","tooltip":"Eject volumes on USB port 2"})");
  EXPECT_EQ(item_tagged(menu, "0x00000100")->dump(),
            R"({"separator":false,"title":"      port 1","tag":"0x00000100","enabled":false,)"
            R"("tooltip":"Eject volumes on USB port 1"})");
  EXPECT_EQ(item_tagged(menu, "0x000004FF")->at("attributed").dump(),
            R"([{"text":"      ","size":14.0},{"image":"eject_USB"}])");
  EXPECT_EQ(menu["items"].back().dump(), R"({"separator":false,"title":"Quit Vantrel Berthline Utility",)"
                                         R"("tag":"0x55500AAA","enabled":true,"action":"ibac_func_Quit:"})");
}

TEST(BerthctlMenu, TheDemoMachineShowsItsNamedVolumesOnly) {
  const json menu = run_json({"menu", "--json"});
  EXPECT_EQ(item_tagged(menu, "0x00000101")->at("title"), "      port 2: Travel");
  EXPECT_EQ(item_tagged(menu, "0x00000201")->at("title"), "      port 2: Archive");
  EXPECT_EQ(item_tagged(menu, "0x00000100")->at("enabled"), false);
}

TEST(BerthctlEject, ARefusedVolumeIsReportedLiterallyAndTheRestOfTheDiskStillTried) {
  const json result = run_json({"--machine", kMachine, "eject", "--tag", "0x101", "--json"}, 1);
  EXPECT_EQ(result.dump(), R"({"unmounted":["/Volumes/Travel"],"alerts":[{"title":"Vantrel Berthline Utility",)"
                           R"("message":"Failed to eject volume:Photos","button":"Confirm",)"
                           R"("informative":"The volume is in use by sleep (pid 4242)."}],)"
                           R"("status_item_enabled":true,"progress_visible":false})");
}

TEST(BerthctlVolumes, ListsEachDiskWithItsDockPortAndVolumes) {
  const json result = run_json({"--machine", kMachine, "volumes", "--json"});
  EXPECT_EQ(result["disks"][0].dump(),
            R"({"bsd":"disk3","device":"/dev/disk3","media_name":"Generic Flash Media","dock":0,"side":"usb","port":2,)"
            R"("volumes":[{"bsd":"disk3s1","device":"/dev/disk3s1","name":"Photos","path":"/Volumes/Photos",)"
            R"("free_bytes":4000000000},{"bsd":"disk3s2","device":"/dev/disk3s2","name":"Travel %d%@",)"
            R"("path":"/Volumes/Travel","free_bytes":12500000000}]})");
  ASSERT_EQ(result["disks"].size(), 2u);
  EXPECT_EQ(result["disks"][1]["side"], "esata") << "disk5, listed by its slices only";
  const json demo = run_json({"volumes", "--json"})["disks"][0];
  EXPECT_EQ(demo["bsd"], "disk0");
  EXPECT_FALSE(demo.contains("dock")) << "a disk on no dock port";
  EXPECT_EQ(demo["volumes"][0]["path"], nullptr) << "EFI, not mounted";
}

TEST(BerthctlEject, AGroupEjectEndsWithTheLocalizedSummary) {
  const json result = run_json({"--machine", kMachine, "eject", "--tag", "0x8FF", "--json"});
  EXPECT_EQ(result["unmounted"], json::array({"/Volumes/Archive"})) << "EFI is never ejected";
  ASSERT_EQ(result["alerts"].size(), 1u);
  EXPECT_EQ(result["alerts"][0]["message"], "All volumes ejected.");
}

TEST(BerthctlEject, ATagNoEnabledItemCarriesIsAnError) {
  for (const char* tag : {"0x100", "0x12345", "256"}) {
    const auto result = run_berthctl({"--machine", kMachine, "eject", "--tag", tag, "--json"});
    EXPECT_EQ(result.exit_status, 2) << tag;
    EXPECT_NE(result.err.find("no enabled item of the status menu has the tag"), std::string::npos) << result.err;
  }
  EXPECT_EQ(run_berthctl({"--machine", kMachine, "eject", "--tag", "port2"}).exit_status, 2);
  EXPECT_EQ(run_berthctl({"--machine", kMachine, "eject"}).exit_status, 2);
}

TEST(BerthctlEject, HumanOutputListsWhatHappened) {
  const auto result = run_berthctl({"--machine", kMachine, "eject", "--tag", "0x201"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, "unmounted /Volumes/Archive\n"
                        "alert \"Vantrel Berthline Utility\": All volumes ejected. [Confirm]\n"
                        "status item enabled, progress window hidden\n");
}

}  // namespace
}  // namespace berth
