// Hostile and careless inputs, replayed through berthctl: the small ones kept in
// tests/corpus/, the huge or special ones (devices, FIFOs, deep nesting, long tables)
// made here. Each must end at once with status 2 and one printable line on standard
// error, never a crash, a hang or a read without end. The machine file reader refuses
// every section's bad values with one line naming the place in the file, and hands the
// tools section to the tool processes in a private file that goes with the machine.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "platform/sim/disk_model.h"
#include "platform/sim/sim_machine.h"
#include "tests/support/run_berthctl.h"
#include "tests/support/temp_dir.h"

namespace berth {
namespace {

namespace fs = std::filesystem;
using namespace berth::testing;
using nlohmann::json;

const fs::path kCorpus = BERTH_TEST_CORPUS_DIR;

struct Case {
  std::vector<std::string> args;
  std::string expected;  // a part of the error line
};

void expect_one_line_error(const Case& c) {
  const std::string name = c.args[1];
  const auto result = run_berthctl(c.args);
  EXPECT_EQ(result.exit_status, 2) << name << ": " << result.err;
  EXPECT_EQ(result.out, "") << name;
  EXPECT_EQ(result.err.rfind("berthctl: ", 0), 0u) << name << ": " << result.err;
  EXPECT_EQ(result.err.find('\n'), result.err.size() - 1) << name << ": not one line: " << result.err;
  for (const char ch : result.err.substr(0, result.err.size() - 1))
    EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) << name << ": a raw control character";
  EXPECT_NE(result.err.find(c.expected), std::string::npos) << name << ": " << result.err;
}

// What some corpus files must say; every other file (fuzz finds) only has to fail cleanly.
const std::map<std::string, std::string> kCorpusMessages{
    {"number-overflow.json", "number overflow parsing '1e400'"},
    {"signed-2p64-minus-1.json", "/num: expected a signed 64-bit integer, found the number 18446744073709551615"},
    {"signed-2p64.json", "/num: expected a signed 64-bit integer, found the number 1.8446744073709552e+19"},
    {"negative-unsigned.json", "/bus: expected a number from 0 to 255, found the number -1"},
    {"fraction.json", "/vid: expected a whole number from 0 to 65535, found the number 1.5"},
    {"number-text.json", "expected a decimal or 0x-prefixed hexadecimal number, found \"0x1B21junk\""},
    {"sleep-huge.json", "/sleep: expected a number of seconds from 0 to 3600, found the number 1e+308"},
    {"control-characters.json", R"(unknown failure "\x1b[2J\x07\nfake line")"},
    {"shared-mount-path.json", R"(/disks/1/volume/path: "/Volumes/A" is also the mount path of disk4s1)"},
    {"flash-image-directory.json", "/flash/image: the image "},
};

TEST(HostileInput, EveryCorpusFileEndsInOneLineAndStatus2) {
  for (const auto& [dir, option] : {std::pair{"machine", "--machine"}, std::pair{"ioreg", "--ioreg"}}) {
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(kCorpus / dir)) {
      const auto expected = kCorpusMessages.find(entry.path().filename().string());
      expect_one_line_error({{option, entry.path().string(), "scan", "--json"},
                             expected == kCorpusMessages.end() ? "" : expected->second});
      ++files;
    }
    EXPECT_GT(files, 0u) << dir;
  }
}

// A registry `depth` entries deep, as a machine file's registry section.
std::string deep_registry(std::size_t depth) {
  std::string text = R"({"registry": {"roots": [)";
  for (std::size_t i = 0; i < depth; ++i) text += R"({"name": "E", "class": "IOService", "children": [)";
  for (std::size_t i = 0; i < depth; ++i) text += "]}";
  return text + "]}}";
}

// The same as `ioreg -l` draws it.
std::string deep_dump(std::size_t depth) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i)
    text += std::string(2 * i, ' ') + "+-o E  <class IOService, id 0x1, registered, matched, active, busy 0, retain 6>\n";
  return text;
}

std::string many(std::size_t count, const std::string& section, const std::string& list, const std::string& item) {
  std::string text = "{\"" + section + "\": {\"" + list + "\": [";
  for (std::size_t i = 0; i < count; ++i) text += (i ? "," : "") + item;
  return text + "]}}";
}

json disk_list(std::size_t count) {
  json list = json::array();
  for (std::size_t i = 0; i < count; ++i) list.push_back({{"bsd", "disk" + std::to_string(i)}});
  return list;
}

class GeneratedInput : public ::testing::Test {
 protected:
  std::string file(const std::string& name, const std::string& text) { return dir_.write(name, text); }
  TempDir dir_;
};

TEST_F(GeneratedInput, HugeSpecialAndDeepInputsAreRefusedAtOnce) {
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string sparse = file("sparse.json", "");
  fs::resize_file(sparse, std::uintmax_t{8} << 30);  // 8 GiB of holes: no disk space taken
  const std::string dev_zero_image = R"({"driver": {"services": [{"flash": {"image": "/dev/zero"}}]}})";
  const Case cases[] = {
      {{"--machine", dir_.path().string(), "scan"}, "is a directory, not a file"},
      {{"--machine", "/dev/zero", "scan"}, "is a device, not a regular file"},
      {{"--ioreg", "/dev/zero", "scan"}, "is a device, not a regular file"},
      {{"--machine", fifo, "scan"}, "is a pipe, not a regular file"},
      {{"--ioreg", fifo, "scan"}, "is a pipe, not a regular file"},
      {{"--machine", sparse, "scan"}, "has 8589934592 bytes; at most 33554432 are read"},
      {{"--machine", file("zero-image.json", dev_zero_image), "scan"}, "the image /dev/zero is a device"},
      {{"--machine", file("deep10000.json", deep_registry(10000)), "scan"}, "nested more than 1024 deep"},
      {{"--machine", file("deep257.json", deep_registry(257)), "scan"}, "nested more than 256 entries deep"},
      {{"--ioreg", file("deep2000.txt", deep_dump(2000)), "scan"}, "line 257: the registry is nested more than 256"},
      {{"--machine", file("services.json", many(2000, "driver", "services", "{}")), "scan"}, "more than 64 services"},
      {{"--machine", file("disks.json", json{{"disks", disk_list(100001)}}.dump()), "scan"},
       "/disks: more than 100000 disks"},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    expect_one_line_error(c);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.args[1];
  }
}

// A repeated name at the end of a long disk list is found, at its place (the speed of
// the check is measured by scripts/bench.sh, not here).
TEST(HostileInput, ARepeatedDiskAmongAHundredThousandIsRefusedAtItsPlace) {
  json list = disk_list(100000);
  list.back()["bsd"] = "disk5";
  try {
    sim::DiskModel::from_json(list, "/disks");
    ADD_FAILURE() << "disk5 is listed twice";
  } catch (const sim::MachineFileError& error) {
    EXPECT_EQ(error.place(), "/disks/99999/bsd");
  }
}

TEST_F(GeneratedInput, WithJsonTheLibraryDiagnosticsGoToStandardError) {
  const std::string machine =
      file("pci1025.json", many(1025, "registry", "roots", R"({"name": "P", "class": "IOPCIDevice"})"));
  const auto result = run_berthctl({"--machine", machine, "scan", "--json"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_TRUE(json::accept(result.out)) << result.out.substr(0, 200);
  EXPECT_NE(result.err.find("gIOPCIDevCnt Overflow !?"), std::string::npos) << result.err;
}

TEST_F(GeneratedInput, DriverScanShowsControlCharactersOfFirmwareEscaped) {
  std::ifstream in(BERTH_DEMO_MACHINE);
  json machine = json::parse(in);
  machine["driver"]["services"][0]["flash"]["bytes_at"][1]["text"] = "V1\x1b[2J\a";
  const auto result = run_berthctl({"--machine", file("demo.json", machine.dump()), "driver-scan"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_NE(result.out.find(R"(firmware "V1\x1b[2J\x07)"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
}

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
