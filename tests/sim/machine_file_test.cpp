// The machine file reader: every section's bad values are refused with one line naming
// the place in the file, and the tools section is handed to the tool processes in a
// private file that goes with the machine.
#include <gtest/gtest.h>


#include "platform/sim/sim_machine.h"
#include "tests/support/temp_dir.h"

namespace berth {
namespace {

using testing::TempDir;

// The line a machine file of this text gives, less its file name; "" when it loads.
std::string error_of(const TempDir& dir, const std::string& text) {
  const std::string path = dir.write("machine.json", text);
  try {
    sim::SimMachine machine(sim::MachineFile::load(path));
  } catch (const sim::MachineFileError& error) {
    return sim::describe(path, error).substr(path.size() + 2);
  }
  return "";
}

TEST(MachineFile, BadValuesAreRefusedNamingTheirPlace) {
  TempDir dir;
  testing::write_bytes(dir / "big.bin", std::vector<std::uint8_t>(0x80001, 0));
  const auto service = [](const std::string& changes) {
    return R"({"driver": {"services": [{"bus": 134, "vid": "0x1B21", "did": "0x0612")" + changes + "}]}}";
  };
  // A line ending in ": " names the place only.
  const std::pair<std::string, std::string> cases[] = {
      {R"({"registry": {"roots": [}})", "malformed JSON: "},
      {R"({"registry": {"roots": [{"name": "P", "class": "IOPCIDevice", "props": [["vendor-id", {"data": 12}]]}]}})",
       "at /registry/roots/0/props/0/1/data: expected a string, found the number 12"},
      {R"({"disks": {}})", "at /disks: expected an array, found object"},
      {R"({"disks": [{"bsd": "sda1"}]})",
       "at /disks/0/bsd: expected a BSD name such as \"disk4\" or \"disk4s2\", found \"sda1\""},
      {R"({"disks": [{"bsd": "disk4"}, {"bsd": "disk4"}]})", "at /disks/1/bsd: \"disk4\" is listed twice"},
      {R"({"disks": [{"bsd": "disk4s1", "volume": {"name": "A", "eject": "later"}}]})",
       "at /disks/0/volume/eject: expected \"ok\" or \"refuse\", found \"later\""},
      {R"({"disks": [{"bsd": "disk4s1", "volume": {"free_bytes": -1}}]})",
       "at /disks/0/volume/free_bytes: expected a number from 0 to 18446744073709551615, found the number -1"},
      {R"({"disk_arbitration": {"session": "maybe"}})",
       "at /disk_arbitration/session: expected \"ok\" or \"fail\", found \"maybe\""},
      {R"({"script_runner": {"load": "later"}})",
       "at /script_runner/load: expected \"ok\", \"none\" or \"errors\", found \"later\""},
      {R"({"bundle": {"strings": {"Confirm": 1}}})", "at /bundle/strings/Confirm: expected a string, found the number 1"},
      {R"({"tools": []})", "at /tools: "},
      {R"({"tools": {"diskutil_list": 3}})", "at /tools/diskutil_list: "},
      {R"({"tools": {"diskutil_list": {"sleep": -1}}})", "at /tools/diskutil_list/sleep: "},
      {R"({"tools": {"diskutil_list": {"sleep": "long"}}})", "at /tools/diskutil_list/sleep: "},
      {R"({"tools": {"reports": {"/dev/disk4": {"ltr": {"hang": 1}}}}})", "at /tools/reports/~1dev~1disk4/ltr/hang: "},
      {R"({"tools": {"reports": {"/dev/disk4": {"full": {"text": 1}}}}})", "at /tools/reports/~1dev~1disk4/full/text: "},
      {R"({"tools": {"reports": {"/dev/disk4": "text"}}})", "at /tools/reports/~1dev~1disk4: "},
      {R"({"tools": {"reports": []}})", "at /tools/reports: "},
      {service(R"(, "did": "0x1FFFF")"), "at /driver/services/0/did: "},
      {service(R"(, "flash": {"image": "missing.bin"})"), "at /driver/services/0/flash/image: "},
      {service(R"(, "flash": {"image": "big.bin"})"), "at /driver/services/0/flash/image: "},
      {service(R"(, "flash": {"persist": true})"), "at /driver/services/0/flash/persist: "},
      {service(R"(, "flash": {"bytes_at": [{"address": "0x7FFFF", "text": "ab"}]})"),
       "at /driver/services/0/flash/bytes_at/0: "},
      {service(R"(, "i2c": [{"address": "0x80"}])"), "at /driver/services/0/i2c/0/address: "},
      {service(R"(, "faults": {"fail_selector": [1, "x"]})"), "at /driver/services/0/faults/fail_selector/1: "},
      {service(R"(, "window": {"zz": 1})"), "at /driver/services/0/window/zz: "},
      {R"({"driver": {"services": "none"}})", "at /driver/services: "},
      {R"({"tools": {"diskutil_list": {"text": "x", "sleep": 0.5, "hang": false}, "reports": {}}})", ""},
      {service(R"(, "flash": {"fill": "0x00"}, "window": {"0x220": 1})"), ""},
  };
  for (const auto& [text, line] : cases) {
    const std::string error = error_of(dir, text);
    if (line.ends_with(": ")) EXPECT_TRUE(error.starts_with(line)) << text << "\n" << error;
    else EXPECT_EQ(error, line) << text;
  }
}

// A file with a name in the temporary directory would outlive a killed program: every
// tool process reads the section from a file without one.
TEST(MachineFile, EveryToolReadsTheToolsSectionFromAFileWithoutAName) {
  const sim::json section = sim::json::parse(R"({"diskutil_list": "/dev/disk4\n"})");
  sim::SimTools tools(section, "/tools");
  const std::vector<std::string> arguments{"-c", "cat \"$BERTH_SIM_TOOLS\""};
  for (int child = 0; child < 2; ++child) {
    const auto task = tools.processes().launch("/bin/sh", arguments);
    ASSERT_TRUE(task && task->wait_for_exit(10));
    EXPECT_EQ(sim::json::parse(task->read_output()), section);
  }
  EXPECT_FALSE(tools.tools_file().starts_with(std::filesystem::temp_directory_path().string()));
}

}  // namespace
}  // namespace berth
