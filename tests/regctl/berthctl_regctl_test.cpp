// berthctl's register tools end to end: the built binary on machine files whose flash
// persists between runs, so that one command programs what the next one dumps.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>

#include "cli/flash_program.h"
#include "lib/regctl/spi_flash.h"
#include "tests/regctl/regctl_bench.h"
#include "tests/support/run_berthctl.h"

namespace berth {
namespace {

using testing::CommandResult;
using testing::dock_controller;
using testing::json;
using testing::pattern_bytes;
using testing::run_berthctl;
using testing::TempDir;

// A machine file in dir whose flash lives in dir/flash.bin.
std::string persistent_machine(const TempDir& dir, const json& flash_changes = json::object(),
                               const json& service_changes = json::object()) {
  json flash = {{"id", "0x001330EF"}, {"image", "flash.bin"}, {"persist", true}};
  flash.merge_patch(flash_changes);
  json service = dock_controller(service_changes);
  service["flash"] = flash;
  const std::string path = (dir / "machine.json").string();
  std::ofstream(path) << testing::driver_machine({service});
  return path;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + 1)) ++count;
  return count;
}

TEST(BerthctlFlash, IdAndVersionOfTheDemoMachineAsJson) {
  const CommandResult id = run_berthctl({"flash", "id", "--json"});
  EXPECT_EQ(id.exit_status, 0) << id.err;
  EXPECT_EQ(id.last_line(), R"({"spi_flash_id":"0x001330EF"})");
  const CommandResult version = run_berthctl({"flash", "version", "--json", "--service", "0"});
  EXPECT_EQ(version.exit_status, 0) << version.err;
  EXPECT_EQ(version.last_line(), R"({"bios_ver":"V1.0.20-R06"})");
}

TEST(BerthctlFlash, AVersionOfNonTextBytesIsStillOneJsonDocument) {
  TempDir dir;
  const std::string machine = persistent_machine(dir, {{"bytes_at", {{{"address", "0x10007"}, {"data", "56ff31"}}}}});
  const CommandResult result = run_berthctl({"--machine", machine, "flash", "version", "--json"});
  EXPECT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(json::parse(result.last_line()).at("bios_ver"), "V\u00ff1\u00ff\u00ff\u00ff\u00ff\u00ff\u00ff\u00ff\u00ff");
}

TEST(BerthctlFlash, TraceWritesEveryDriverCallToStandardError) {
  const CommandResult result = run_berthctl({"--trace", "flash", "id"});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.out, "spi_flash_id 0x001330EF\n");
  EXPECT_NE(result.err.find("trace sel=10 in= out=0x1b21,0x612 status=0x00000000\n"), std::string::npos);
  EXPECT_NE(result.err.find("trace sel=8 in=0xa8,0x4 out= status=0x00000000\n"), std::string::npos);
  EXPECT_NE(result.err.find("trace sel=7 in=0xac out=0x1330ef status=0x00000000\n"), std::string::npos);
}

TEST(BerthctlFlash, ProgramThenDumpGivesTheFileBackByteForByte) {
  TempDir dir;
  const std::string machine = persistent_machine(dir);
  const auto image = pattern_bytes(kFlashSize, 21);
  testing::write_bytes(dir / "image.bin", image);
  const CommandResult program = run_berthctl({"--machine", machine, "flash", "program", "--file", (dir / "image.bin").string()});
  ASSERT_EQ(program.exit_status, 0) << program.err;
  EXPECT_EQ(program.out, "flash program: " + (dir / "image.bin").string() + " programmed and verified\n");
  // Not a terminal: a percent line at every tenth.
  EXPECT_EQ(count_of(program.err, "flash program: "), 11u);
  EXPECT_NE(program.err.find("flash program: 100%\n"), std::string::npos);
  const CommandResult dump = run_berthctl({"--machine", machine, "flash", "dump", "--out", (dir / "dump.bin").string()});
  ASSERT_EQ(dump.exit_status, 0) << dump.err;
  EXPECT_TRUE(testing::read_bytes(dir / "dump.bin") == image);
}

TEST(BerthctlFlash, OnlyChangedErasesOnlyTheDifferingSectorAndEndsTheSame) {
  TempDir dir;
  const std::string machine = persistent_machine(dir, {{"fill", "0xFF"}});
  auto image = pattern_bytes(kFlashSize, 22);
  testing::write_bytes(dir / "flash.bin", image);
  image[0x45678] ^= 0x5A;
  testing::write_bytes(dir / "changed.bin", image);
  const CommandResult result =
      run_berthctl({"--machine", machine, "flash", "program", "--file", (dir / "changed.bin").string(), "--only-changed"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_NE(result.out.find("flash program: 1 of 128 sectors differ\n"), std::string::npos);
  EXPECT_TRUE(testing::read_bytes(dir / "flash.bin") == image);
}

TEST(BerthctlFlash, AShortFileLeavesTheRestOfTheFlashErased) {
  TempDir dir;
  const std::string machine = persistent_machine(dir, {{"fill", "0x00"}, {"busy_polls", 0}});
  const auto image = pattern_bytes(5000, 23);
  testing::write_bytes(dir / "short.bin", image);
  const CommandResult result = run_berthctl({"--machine", machine, "flash", "program", "--file", (dir / "short.bin").string()});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  auto expected = image;
  expected.resize(kFlashSize, 0xFF);
  EXPECT_TRUE(testing::read_bytes(dir / "flash.bin") == expected);
}

TEST(BerthctlFlash, AnUnknownFlashIsRefusedAndLeftUntouched) {
  TempDir dir;
  const std::string machine = persistent_machine(dir, {{"id", "0x00134020"}, {"fill", "0x00"}});
  testing::write_bytes(dir / "image.bin", pattern_bytes(kFlashSize, 24));
  const CommandResult result = run_berthctl({"--machine", machine, "flash", "program", "--file", (dir / "image.bin").string()});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.err.find("Flash type not support, unknown ven id = 20h\n"), std::string::npos);
  EXPECT_TRUE(testing::read_bytes(dir / "flash.bin") == std::vector<std::uint8_t>(kFlashSize, 0x00));
}

TEST(BerthctlFlash, AReadBackThatDiffersNamesTheFirstDifferingAddress) {
  TempDir dir;
  const std::string machine = persistent_machine(dir, {{"stuck_zero", {"0x01234", "0x05000"}}, {"busy_polls", 0}});
  testing::write_bytes(dir / "image.bin", std::vector<std::uint8_t>(kFlashSize, 0xA5));
  const CommandResult result = run_berthctl({"--machine", machine, "flash", "program", "--file", (dir / "image.bin").string()});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.err.find("flash program: verify failed at 0x01234: the flash holds 0x00, the file 0xA5\n"),
            std::string::npos);
}

TEST(BerthctlFlash, AFlashThatStaysBusyFailsTheProgram) {
  TempDir dir;
  const std::string machine = persistent_machine(dir, json::object(), {{"faults", {{"stuck_busy", true}}}});
  testing::write_bytes(dir / "image.bin", pattern_bytes(100, 25));
  const CommandResult result = run_berthctl({"--machine", machine, "flash", "program", "--file", (dir / "image.bin").string()});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_NE(result.err.find("SPI flash still busy after 30000 status reads"), std::string::npos);
  EXPECT_NE(result.err.find("flash program: programming failed; the flash is left as far as it got\n"), std::string::npos);
}

TEST(BerthctlFlash, BadArgumentsExitWith2) {
  TempDir dir;
  testing::write_bytes(dir / "big.bin", std::vector<std::uint8_t>(kFlashSize + 1, 0));
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"flash", "program"},
           {"flash", "program", "--file", (dir / "absent.bin").string()},
           {"flash", "program", "--file", (dir / "big.bin").string()},
           {"flash", "program", "--file", dir.path().string()},
           {"flash", "id", "--service", "1"},
           {"flash", "id", "--service", "x"},
           {"flash", "erase"},
           {"flash"},
           {"led", "on", "--port", "2"},
           {"led", "on"},
           {"led", "glow", "--port", "0"},
           {"gpio"},
           {"i2c", "write", "0x80"},
           {"i2c", "write", "0x23", "0x100"}}) {
    const CommandResult result = run_berthctl(args);
    EXPECT_EQ(result.exit_status, 2) << args[0] << " " << (args.size() > 1 ? args[1] : "");
    EXPECT_EQ(result.err.rfind("berthctl: ", 0), 0u) << result.err;
  }
}

TEST(BerthctlFlash, ABadDriverSectionIsOneLineNamingItsPlace) {
  TempDir dir;
  std::ofstream(dir / "bad.json") << testing::driver_machine({dock_controller({{"did", "0x1FFFF"}})});
  const CommandResult result = run_berthctl({"--machine", (dir / "bad.json").string(), "flash", "id"});
  EXPECT_EQ(result.exit_status, 2);
  EXPECT_NE(result.err.find("at /driver/services/0/did: number out of range"), std::string::npos) << result.err;
}

TEST(BerthctlFlash, DumpWithoutOutGoesToTheControllersPrivateTmpFile) {
  TempDir dir;
  const std::string machine = persistent_machine(dir, {{"fill", "0x3C"}}, {{"bus", 205}});
  const std::string path = "/tmp/dmp_spi_flash_bus205_dev0_fun0";
  const CommandResult result = run_berthctl({"--machine", machine, "flash", "dump"});
  ASSERT_EQ(result.exit_status, 0) << result.err;
  EXPECT_EQ(result.out, "flash dump: 524288 bytes written to " + path + "\n");
  struct stat info {};
  ASSERT_EQ(::lstat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_TRUE(testing::read_bytes(path) == std::vector<std::uint8_t>(kFlashSize, 0x3C));
  std::filesystem::remove(path);
}

TEST(BerthctlRegisterTools, LedsGpioAndI2cOnTheDemoMachine) {
  for (const char* action : {"on", "off", "blink"}) {
    const CommandResult result = run_berthctl({"led", action, "--port", "1"});
    EXPECT_EQ(result.exit_status, 0) << action << result.err;
    EXPECT_EQ(result.out, std::string("led ") + action + " --port 1: status 0x00000000\n");
  }
  const CommandResult unblink = run_berthctl({"led", "unblink", "--port", "0"});
  EXPECT_EQ(unblink.exit_status, 1);
  EXPECT_EQ(unblink.err, "led unblink: port 0 is not blinking in this run\n");
  const CommandResult gpio = run_berthctl({"gpio", "dump"});
  EXPECT_EQ(gpio.exit_status, 0);
  EXPECT_EQ(count_of(gpio.err, "M9182_REG_GPIO_"), 10u);
  const CommandResult written = run_berthctl({"i2c", "write", "0x23", "0xff", "1"});
  EXPECT_EQ(written.exit_status, 0) << written.err;
  EXPECT_EQ(written.out, "i2c write: address 0x23 and 2 bytes acknowledged\n");
  const CommandResult absent = run_berthctl({"i2c", "write", "0x42", "1"});
  EXPECT_EQ(absent.exit_status, 1);
  EXPECT_EQ(absent.err, "i2c write: address 0x42 was not acknowledged\n");
}

TEST(FlashProgram, OnlyChangedErasesAndProgramsOnlyTheDifferingSectors) {
  TempDir dir;
  auto image = pattern_bytes(kFlashSize, 27);
  testing::write_bytes(dir / "flash.bin", image);
  testing::RegctlBench bench(dock_controller({{"flash", {{"image", (dir / "flash.bin").string()}}}}));
  image[0x1000] ^= 1;
  image[0x7FFFF] ^= 1;
  testing::write_bytes(dir / "changed.bin", image);
  ASSERT_EQ(cli::flash_program({"--file", (dir / "changed.bin").string(), "--only-changed"}), 0);
  EXPECT_EQ(bench.flash().counts().erases, 2u);
  EXPECT_EQ(bench.flash().counts().bytes_programmed, 2u * kFlashSectorSize);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), bench.flash().contents().begin()));
  EXPECT_NE(bench.console().out().find("flash program: 2 of 128 sectors differ\n"), std::string::npos);
}

TEST(FlashProgress, OnATerminalABarIsRedrawnInPlace) {
  TempDir dir;
  auto image = pattern_bytes(kFlashSize, 26);
  testing::write_bytes(dir / "flash.bin", image);
  testing::RegctlBench bench(dock_controller({{"flash", {{"image", (dir / "flash.bin").string()}}}}));
  bench.console().attach_terminal(Stream::err, 80);
  for (const std::uint32_t sector : {3, 50, 90}) image[sector * kFlashSectorSize] ^= 0xFF;
  testing::write_bytes(dir / "changed.bin", image);
  ASSERT_EQ(cli::flash_program({"--file", (dir / "changed.bin").string(), "--only-changed"}), 0);
  const std::string err = bench.console().err();
  // Before each of the three sectors, then the full bar, and one line end.
  EXPECT_EQ(count_of(err, "\r["), 4u);
  EXPECT_NE(err.find("] 100%\n"), std::string::npos);
  EXPECT_EQ(count_of(err, "\n"), 1u);
}

}  // namespace
}  // namespace berth
