// Hostile and careless inputs, replayed through berthctl: the small ones kept in
// tests/corpus/, the huge or special ones (devices, FIFOs, deep nesting, long tables)
// made here. Each must end at once with status 2 and one printable line on standard
// error, never a crash, a hang or a read without end.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "platform/sim/disk_model.h"
#include "tests/support/run_berthctl.h"

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
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("berth-hostile-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string file(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return (dir_ / name).string();
  }
  fs::path dir_;
};

TEST_F(GeneratedInput, HugeSpecialAndDeepInputsAreRefusedAtOnce) {
  const std::string fifo = (dir_ / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string sparse = file("sparse.json", "");
  fs::resize_file(sparse, std::uintmax_t{8} << 30);  // 8 GiB of holes: no disk space taken
  const std::string dev_zero_image = R"({"driver": {"services": [{"flash": {"image": "/dev/zero"}}]}})";
  const Case cases[] = {
      {{"--machine", dir_.string(), "scan"}, "is a directory, not a file"},
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

}  // namespace
}  // namespace berth
