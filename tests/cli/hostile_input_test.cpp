// Hostile and careless inputs, replayed through berthctl: the small ones kept in
// tests/corpus/, the huge or special ones (devices, FIFOs, deep nesting, long tables)
// made here. Each must end at once with status 2 and one printable line on standard
// error, never a crash, a hang or a read without end. The machine file reader refuses
// every section's bad values with one line naming the place in the file.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

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
  SCOPED_TRACE(c.args[1]);
  const auto [status, out, err] = run_berthctl(c.args);
  EXPECT_EQ(status, 2) << err;
  EXPECT_EQ(out, "");
  EXPECT_TRUE(err.starts_with("berthctl: ") && err.find(c.expected) != std::string::npos) << err;
  EXPECT_TRUE(err.find('\n') == err.size() - 1 &&
              std::none_of(err.begin(), err.end() - 1, [](unsigned char ch) { return ch < 0x20 || ch == 0x7F; }))
      << "not one line of printable text: " << err;
}

// What some corpus files must say; every other file (fuzz finds) only has to fail cleanly.
const std::map<std::string, std::string> kCorpusMessages{
    {"malformed.json", "malformed JSON: "},
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

// `count` copies of `text`, one after the other.
std::string times(std::size_t count, const std::string& text, const std::string& separator = "") {
  std::string all;
  for (std::size_t i = 0; i < count; ++i) all += (i ? separator : "") + text;
  return all;
}

// A registry `depth` entries deep, as a machine file's registry section.
std::string deep_registry(std::size_t depth) {
  return R"({"registry": {"roots": [)" + times(depth, R"({"name": "E", "class": "IOService", "children": [)") +
         times(depth, "]}") + "]}}";
}

TEST(HostileInput, HugeSpecialAndDeepInputsAreRefusedAtOnce) {
  TempDir dir;
  const std::string fifo = (dir / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string sparse = dir.write("sparse.json", "");
  fs::resize_file(sparse, std::uintmax_t{8} << 30);  // 8 GiB of holes: no disk space taken
  std::string dump;  // nested as `ioreg -l` draws it
  for (std::size_t i = 0; i < 2000; ++i)
    dump += std::string(2 * i, ' ') + "+-o E  <class IOService, id 0x1, registered, matched, active, busy 0, retain 6>\n";
  const std::string dev_zero_image = R"({"driver": {"services": [{"flash": {"image": "/dev/zero"}}]}})";
  // Machine files and dumps are read by the same reader: its refusals are shown on both.
  const Case cases[] = {
      {{"--machine", dir.path().string(), "scan"}, "is a directory, not a file"},
      {{"--machine", "/dev/zero", "scan"}, "is a device, not a regular file"},
      {{"--ioreg", fifo, "scan"}, "is a pipe, not a regular file"},
      {{"--machine", sparse, "scan"}, "has 8589934592 bytes; at most 33554432 are read"},
      {{"--machine", dir.write("zero-image.json", dev_zero_image), "scan"}, "the image /dev/zero is a device"},
      {{"--machine", dir.write("deep10000.json", deep_registry(10000)), "scan"}, "nested more than 1024 deep"},
      {{"--machine", dir.write("deep257.json", deep_registry(257)), "scan"}, "nested more than 256 entries deep"},
      {{"--ioreg", dir.write("deep2000.txt", dump), "scan"}, "line 257: the registry is nested more than 256"},
      {{"--machine", dir.write("services.json", R"({"driver": {"services": [)" + times(2000, "{}", ",") + "]}}"),
        "scan"}, "more than 64 services"},
      {{"--machine", dir.write("disks.json", R"({"disks": [)" + times(100001, "{}", ",") + "]}"), "scan"},
       "/disks: more than 100000 disks"},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    expect_one_line_error(c);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5)) << c.args[1];
  }
}

// Inputs that a program must take without harm: with --json the library's diagnostics
// go to standard error, and control characters of a firmware text are shown escaped
// wherever it is printed.
TEST(HostileInput, ToleratedInputsLeaveTheOutputClean) {
  TempDir dir;
  const std::string roots = times(1025, R"({"name": "P", "class": "IOPCIDevice"})", ",");
  auto result = run_berthctl(
      {"--machine", dir.write("pci1025.json", R"({"registry": {"roots": [)" + roots + "]}}"), "scan", "--json"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_TRUE(json::accept(result.out)) << result.out.substr(0, 200);
  EXPECT_NE(result.err.find("gIOPCIDevCnt Overflow !?"), std::string::npos) << result.err;
  json machine = json::parse(std::ifstream(BERTH_DEMO_MACHINE));
  machine["driver"]["services"][0]["flash"]["bytes_at"][1]["text"] = "V1\x1b[2J\a";
  const std::string file = dir.write("demo.json", machine.dump());
  for (const auto& command : {std::vector<std::string>{"driver-scan"}, {"flash", "version"}}) {
    std::vector<std::string> args{"--machine", file};
    args.insert(args.end(), command.begin(), command.end());
    result = run_berthctl(args);
    ASSERT_EQ(result.exit_status, 0) << result.err;
    EXPECT_NE(result.out.find(R"(V1\x1b[2J\x07)"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos);
  }
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
  // One refusal for each section; a line ending in ": " names the place only.
  const std::pair<std::string, std::string> cases[] = {
      {R"({"registry": {"roots": [{"name": "P", "class": "IOPCIDevice", "props": [["vendor-id", {"data": 12}]]}]}})",
       "at /registry/roots/0/props/0/1/data: expected a string, found the number 12"},
      {R"({"disks": [{"bsd": "sda1"}]})",
       "at /disks/0/bsd: expected a BSD name such as \"disk4\" or \"disk4s2\", found \"sda1\""},
      {R"({"disk_arbitration": {"session": "maybe"}})",
       "at /disk_arbitration/session: expected \"ok\" or \"fail\", found \"maybe\""},
      {R"({"script_runner": {"load": "later"}})",
       "at /script_runner/load: expected \"ok\", \"none\" or \"errors\", found \"later\""},
      {R"({"bundle": {"strings": {"Confirm": 1}}})", "at /bundle/strings/Confirm: expected a string, found the number 1"},
      {R"({"tools": {"reports": {"/dev/disk4": {"ltr": {"hang": 1}}}}})", "at /tools/reports/~1dev~1disk4/ltr/hang: "},
      // An image larger than the flash.
      {R"({"driver": {"services": [{"flash": {"image": "big.bin"}}]}})", "at /driver/services/0/flash/image: "},
      // Accepted: an image not yet written leaves the flash as filled.
      {R"({"tools": {"diskutil_list": {"text": "x", "sleep": 0.5, "hang": false}, "reports": {}},)"
       R"( "driver": {"services": [{"bus": 134, "flash": {"fill": "0x00", "image": "none.bin"}, "window": {"0x220": 1}}]}})",
       ""},
  };
  for (const auto& [text, line] : cases) {
    const std::string error = error_of(dir, text);
    if (line.ends_with(": ")) EXPECT_TRUE(error.starts_with(line)) << text << "\n" << error;
    else EXPECT_EQ(error, line) << text;
  }
}

}  // namespace
}  // namespace berth
