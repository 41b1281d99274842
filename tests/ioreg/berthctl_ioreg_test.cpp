// berthctl on dumps: --ioreg FILE as the machine of scan and menu, ioreg-to-machine,
// and the one-line error with exit status 2 for a dump that cannot be read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/ioreg/dump_support.h"
#include "tests/support/run_berthctl.h"

namespace berth {
namespace {

using testing::run_berthctl;

class BerthctlIoreg : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("berthctl_ioreg_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string file(const std::string& name, const std::string& text) const {
    const auto path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  std::filesystem::path dir_;
};

std::string dump_path(const std::string& name) { return testing::dumps_dir() + "/" + name; }

TEST_F(BerthctlIoreg, ScanRunsOnTheRegistryOfADump) {
  const auto r = run_berthctl({"--ioreg", dump_path("MacPro6,1.txt"), "scan", "--json"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_NE(r.out.find(R"({"status":"0x00000000","count":0,"docks":[],"tables":{"pci":72,)"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(R"({"index":19,"is_guid_valid":1,"tb_guid_high":"0x000B0001","tb_guid_low":"0x000EB8C0",)"),
            std::string::npos);
}

TEST_F(BerthctlIoreg, AMalformedDumpGivesOneLineWithItsLineNumberAndStatus2) {
  const std::string whole = testing::read_dump("MacBookPro11,3.txt");
  const std::string cut = file("cut.txt", whole.substr(0, whole.find("<8680") + 5));  // in the first "vendor-id"
  const auto r = run_berthctl({"--ioreg", cut, "scan"});
  EXPECT_EQ(r.exit_status, 2);
  EXPECT_EQ(r.err, "berthctl: " + cut + ": line 912: data without its closing \">\"\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(BerthctlIoreg, AMissingDumpOrTwoMachinesAreErrorsWithStatus2) {
  const auto missing = run_berthctl({"--ioreg", (dir_ / "none.txt").string(), "scan"});
  EXPECT_EQ(missing.exit_status, 2);
  EXPECT_EQ(missing.err,
            "berthctl: " + (dir_ / "none.txt").string() + ": cannot open the file: No such file or directory\n");
  const auto both = run_berthctl({"--machine", "x.json", "--ioreg", "y.txt", "scan"});
  EXPECT_EQ(both.exit_status, 2);
  EXPECT_EQ(both.err.substr(0, both.err.find('\n')), "berthctl: --machine, --ioreg, --sysfs and --demo each name the machine; give one");
  EXPECT_EQ(run_berthctl({"ioreg-to-machine"}).exit_status, 2);
  EXPECT_EQ(run_berthctl({"ioreg-to-machine", dump_path("MacPro4,1.txt"), "--json"}).exit_status, 2);
}

// The Mac Pro with the bridge above its FL1100 made the Thunderbolt device of a dock of type 10.
std::string dock_dump_text() { return testing::mac_pro6_with_dock("<785634120a003d00>"); }

TEST_F(BerthctlIoreg, TheMenuOfADumpShowsTheDockPortsWithoutVolumes) {
  const auto r = run_berthctl({"--ioreg", file("dock.txt", dock_dump_text()), "menu", "--json"});
  ASSERT_EQ(r.exit_status, 0) << r.err;
  const auto menu = nlohmann::json::parse(r.last_line());
  std::map<std::string, nlohmann::json> by_tag;
  for (const auto& item : menu.at("items"))
    if (item.contains("tag")) by_tag[item.at("tag").get<std::string>()] = item;
  // The disk with unit 4 is on USB port 1, but a dump has no volumes to name or eject.
  ASSERT_TRUE(by_tag.contains("0x00000100")) << r.out;
  EXPECT_EQ(by_tag["0x00000100"].at("title"), "      port 1");
  EXPECT_EQ(by_tag["0x00000100"].at("enabled"), false);
  EXPECT_TRUE(by_tag.contains("0x00000201"));  // eSATA port 2 of a type-10 dock
  EXPECT_FALSE(by_tag.contains("0x5555AAAA"));  // not the no-dock line
}

TEST_F(BerthctlIoreg, AMachineFileWrittenFromADumpScansAsTheDumpDoes) {
  // The edited Mac Pro with a dock, so that the comparison covers a dock record.
  const std::string dump = file("dock.txt", dock_dump_text());
  const std::string machine = (dir_ / "dock.json").string();

  const auto written = run_berthctl({"ioreg-to-machine", dump, "--out", machine});
  ASSERT_EQ(written.exit_status, 0) << written.err;
  EXPECT_EQ(written.out, "");
  const auto from_dump = run_berthctl({"--ioreg", dump, "scan", "--json"});
  const auto from_machine = run_berthctl({"--machine", machine, "scan", "--json"});
  EXPECT_EQ(from_machine.exit_status, 0) << from_machine.err;
  EXPECT_NE(from_dump.out.find(R"("count":1,)"), std::string::npos) << from_dump.out;
  EXPECT_EQ(from_machine.out, from_dump.out);

  const auto to_stdout = run_berthctl({"ioreg-to-machine", dump});
  EXPECT_EQ(to_stdout.exit_status, 0);
  EXPECT_EQ(to_stdout.out, testing::read_file(machine));
}

}  // namespace
}  // namespace berth
