// berthctl's register tools end to end: the built binary on the demo machine and on
// machine files whose flash persists between runs, so that one command programs what
// the next one dumps; then flash program in this process, to see the flash model.
#include <gtest/gtest.h>

#include <fstream>

#include "cli/flash_program.h"
#include "lib/regctl/spi_flash.h"
#include "tests/regctl/regctl_bench.h"
#include "tests/support/run_berthctl.h"

namespace berth {
namespace {

using testing::CommandResult;
using testing::count_of;
using testing::dock_controller;
using testing::json;
using testing::pattern_bytes;
using testing::run_berthctl;
using testing::TempDir;
using Args = std::vector<std::string>;

// A machine file in dir with one controller whose flash lives in dir/flash.bin.
std::string machine(const TempDir& dir, const json& flash_changes = json::object(),
                    const json& changes = json::object()) {
  json service = dock_controller(changes);
  service["flash"] = {{"id", "0x001330EF"}, {"image", "flash.bin"}, {"persist", true}};
  service["flash"].merge_patch(flash_changes);
  const std::string path = (dir / ("machine" + std::to_string(std::rand()) + ".json")).string();
  std::ofstream(path) << testing::driver_machine({service});
  return path;
}

Args with_machine(const std::string& path, Args args) {
  args.insert(args.begin(), {"--machine", path});
  return args;
}

struct Invocation {
  Args args;
  int exit_status;
  std::string out;  // standard output or its last line; a part of that line after "..."
  std::string err;  // standard error; a part of it after "..."
};

bool matches(const std::string& text, const std::string& expected) {
  return expected.starts_with("...") ? text.find(expected.substr(3)) != std::string::npos : text == expected;
}

void expect(const Invocation& run) {
  const CommandResult result = run_berthctl(run.args);
  std::string shown;
  for (const auto& arg : run.args) shown += arg + " ";
  SCOPED_TRACE(shown);
  EXPECT_EQ(result.exit_status, run.exit_status) << result.err;
  EXPECT_TRUE(result.out == run.out || matches(result.last_line(), run.out)) << result.out;
  EXPECT_TRUE(matches(result.err, run.err)) << result.err;
}

TEST(BerthctlRegisterTools, OutputsExitStatusesAndTheDriverCallsTheyMake) {
  TempDir dir;
  const std::string unopenable = machine(dir, json::object(), {{"open_status", "0xE00002C5"}});
  // An SPI engine that never finishes: only flash commands notice.
  const std::string spi_stuck = machine(dir, json::object(), {{"faults", {{"stuck_command", true}}}});
  const std::string clock_held = machine(dir, json::object(), {{"i2c", {{{"address", "0x23"}, {"hold_scl", true}}}}});
  const std::string led_trace =
      "trace sel=0 in= out= status=0x00000000\ntrace sel=10 in= out=0x1b21,0x612 status=0x00000000\n"
      "trace sel=0 in= out= status=0x00000000\ntrace sel=8 in=0xa8,0x220 out= status=0x00000000\n"
      "trace sel=7 in=0xac out=0x0 status=0x00000000\ntrace sel=8 in=0xac,0x1 out= status=0x00000000\n";
  for (const Invocation& run : std::vector<Invocation>{
           {{"flash", "id", "--json"}, 0, R"({"spi_flash_id":"0x001330EF"})", ""},
           {{"flash", "version", "--json", "--service", "0"}, 0, R"({"bios_ver":"V1.0.20-R06"})", ""},
           {{"--trace", "flash", "id"}, 0, "spi_flash_id 0x001330EF\n", "...trace sel=7 in=0xac out=0x1330ef status"},
           {{"--trace", "led", "off", "--port", "0"}, 0, "led off --port 0: status 0x00000000\n", led_trace},
           {{"led", "blink", "--port", "1", "--json"}, 0, R"({"status":"0x00000000","action":"blink","port":1})", ""},
           {{"led", "on", "--port", "2", "--json"}, 1, R"({"status":"0xE0000001","action":"on","port":2})", ""},
           {{"led", "on", "--port", "-1"}, 1, "led on --port 4294967295: status 0xe0000001\n", ""},
           // The blink flags live in the dock record of one run.
           {{"led", "unblink", "--port", "0"}, 1, "led unblink --port 0: status 0xe00002bc\n", ""},
           {{"gpio", "dump", "--json"}, 0,
            R"(...{"status":"0x00000000","registers":{"M9182_REG_GPIO_DATA_OUT":"0x00000000",)",
            "...M9182_REG_GPIO_PORT_ACTIVE_EN=0\n"},
           {{"i2c", "write", "0x23", "0xff", "1"}, 0, "i2c write: address 0x23 and 2 bytes acknowledged\n", ""},
           {{"i2c", "write", "0x42", "1", "2", "--json"}, 1,
            R"({"status":"0xE00002BC","address":"0x42","address_acknowledged":false,"bytes":[{"value":"0x01",)"
            R"("acknowledged":false},{"value":"0x02","acknowledged":false}],"clock_timeout":false})",
            "i2c write: address 0x42 was not acknowledged\ni2c write: byte 1 (0x01) was not acknowledged\n"
            "i2c write: byte 2 (0x02) was not acknowledged\n"},
           {with_machine(clock_held, {"i2c", "write", "0x23", "1"}), 1, "",
            "i2c: SCL held low, gave up after 1000 reads\n"
            "i2c write: the clock line stayed low, so the transfer was given up\n"},
           {with_machine(unopenable, {"led", "on", "--port", "1"}), 1, "led on --port 1: status 0xe00002bc\n",
            "sata_status_LED_on Err2\n"},
           {with_machine(unopenable, {"flash", "dump", "--json"}), 1, R"({"status":"0xE00002BC"})",
            "spi_flash_dump Err2\n"},
           {with_machine(spi_stuck, {"led", "on", "--port", "1"}), 0, "led on --port 1: status 0x00000000\n", ""},
           {with_machine(spi_stuck, {"i2c", "write", "0x23"}), 0,
            "i2c write: address 0x23 and 0 bytes acknowledged\n", ""},
           {with_machine(spi_stuck, {"flash", "id"}), 1, "", "...get_VID_DID_9182_spi_flash Err\n"},
           {with_machine(machine(dir, {{"fill", "0x3C"}, {"image", "3c.bin"}}, {{"bus", 205}}), {"flash", "dump"}), 0,
            "flash dump: 524288 bytes written to /tmp/dmp_spi_flash_bus205_dev0_fun0\n", "...[3C3C3C3C]\n"},
       })
    expect(run);
  const std::string dumped = "/tmp/dmp_spi_flash_bus205_dev0_fun0";
  EXPECT_TRUE(testing::read_bytes(dumped) == std::vector<std::uint8_t>(kFlashSize, 0x3C));
  std::filesystem::remove(dumped);
}

TEST(BerthctlFlash, ProgramThenDumpGivesTheFileBackWithTheLibrarysLines) {
  TempDir dir;
  const std::string m = machine(dir);
  const auto image = pattern_bytes(kFlashSize, 21);
  testing::write_bytes(dir / "image.bin", image);
  const CommandResult program =
      run_berthctl(with_machine(m, {"flash", "program", "--file", (dir / "image.bin").string()}));
  ASSERT_EQ(program.exit_status, 0) << program.err;
  EXPECT_EQ(program.out, "flash program: " + (dir / "image.bin").string() + " programmed and verified\n");
  EXPECT_TRUE(program.err.starts_with("spi_flash_type = 1330EFh\n"
                                      "Doing program_whole_9182_spi_flash, sec_cnt = 00000000, pgs=0\n"
                                      "flash program: 0%\n"));
  EXPECT_EQ(count_of(program.err, "Doing program_whole_9182_spi_flash, sec_cnt = "), kFlashSectorCount);
  // Not a terminal: a percent line at every tenth.
  EXPECT_EQ(count_of(program.err, "flash program: "), 11u);
  EXPECT_TRUE(program.err.ends_with("sec_cnt = 0000007F, pgs=99\nflash program: 100%\n"));

  const CommandResult dump =
      run_berthctl(with_machine(m, {"flash", "dump", "--out", (dir / "dump.bin").string(), "--json"}));
  ASSERT_EQ(dump.exit_status, 0) << dump.err;
  EXPECT_EQ(dump.last_line(),
            R"({"status":"0x00000000","file":")" + (dir / "dump.bin").string() + R"(","bytes":524288})");
  EXPECT_EQ(count_of(dump.err, "]\n"), 0x138u / 4 + 1);
  EXPECT_TRUE(testing::read_bytes(dir / "dump.bin") == image);
  std::filesystem::remove("/tmp/dmp_spi_flash_bus134_dev0_fun0");
}

TEST(BerthctlFlash, ProgramOutcomes) {
  TempDir dir;
  auto image = pattern_bytes(kFlashSize, 22);
  testing::write_bytes(dir / "flash.bin", image);
  image[0x45678] ^= 0x5A;
  testing::write_bytes(dir / "changed.bin", image);
  testing::write_bytes(dir / "short.bin", pattern_bytes(5000, 23));
  testing::write_bytes(dir / "a5.bin", std::vector<std::uint8_t>(0x3000, 0xA5));
  const auto program = [&](const std::string& m, const char* file, Args more = {}) {
    Args args = with_machine(m, {"flash", "program", "--file", (dir / file).string()});
    args.insert(args.end(), more.begin(), more.end());
    return args;
  };
  const std::string base = "{\"status\":\"0x00000000\",\"file\":\"" + (dir / "changed.bin").string() + "\"";
  const std::string warn = "WARN: program_whole_9182_spi_flash, read dmp_spi_flash EOF, total_bytes=1388\n";
  expect({program(machine(dir), "changed.bin", {"--only-changed", "--json"}), 0,
          base + R"(,"file_bytes":524288,"sectors_programmed":1,"flash_changed":true,"verified":true})", "...flash program: 100%\n"});
  EXPECT_TRUE(testing::read_bytes(dir / "flash.bin") == image);
  expect({program(machine(dir, {{"fill", "0x00"}, {"busy_polls", 0}}), "short.bin"), 0,
          "...flash program: " + (dir / "short.bin").string() + " programmed and verified",
          "..." + warn + "Doing program_whole_9182_spi_flash, sec_cnt = 00000002, pgs=1\n" + warn});
  auto expected = pattern_bytes(5000, 23);
  expected.resize(kFlashSize, 0xFF);
  EXPECT_TRUE(testing::read_bytes(dir / "flash.bin") == expected);
  expect({program(machine(dir, {{"id", "0x00134020"}}), "short.bin"), 1, "",
          "...spi_flash_type = 134020h\nFlash type not support, unknown ven id = 20h\n"
          "program_whole_9182_spi_flash error done\n"
          "flash program: failed before anything was erased; the flash is left untouched\n"});
  EXPECT_TRUE(testing::read_bytes(dir / "flash.bin") == expected);
  for (const auto& [cell, line] : {std::pair{"0x01234", "the flash holds 0x00, the file 0xA5\n"},
                                   std::pair{"0x05000", "the flash holds 0x00, after the file's end erased 0xFF\n"}})
    expect({program(machine(dir, {{"stuck_zero", {cell}}, {"busy_polls", 0}}), "a5.bin"), 1, "",
            "...verify failed at " + std::string(cell) + ": " + line});
}

TEST(BerthctlFlash, BadArgumentsAndABadDriverSectionExitWith2) {
  TempDir dir;
  testing::write_bytes(dir / "big.bin", std::vector<std::uint8_t>(kFlashSize + 1, 0));
  std::ofstream(dir / "bad.json") << testing::driver_machine({dock_controller({{"did", "0x1FFFF"}})});
  for (const Args& args : std::vector<Args>{
           {"flash", "program"}, {"flash", "program", "--file", (dir / "absent.bin").string()},
           {"flash", "program", "--file", (dir / "big.bin").string()},
           {"flash", "program", "--file", dir.path().string()},
           {"flash", "id", "--service", "1"}, {"flash", "id", "--service", "x"}, {"flash", "erase"}, {"flash"},
           {"led", "on", "--port", "x"}, {"led", "on", "--port", "4294967296"}, {"led", "on"},
           {"led", "glow", "--port", "0"}, {"gpio"}, {"i2c", "write", "0x80"}, {"i2c", "write", "0x23", "0x100"},
           {"--machine", (dir / "bad.json").string(), "flash", "id"}}) {
    const CommandResult result = run_berthctl(args);
    EXPECT_EQ(result.exit_status, 2) << args[0] << " " << args[1];
    EXPECT_EQ(result.err.rfind("berthctl: ", 0), 0u) << result.err;
  }
}

// A sector that differs is erased and gets exactly the words a whole program writes.
TEST(FlashProgram, OnlyChangedProgramsOnlyTheDifferingSectorsWithTheFilesWords) {
  TempDir dir;
  auto image = pattern_bytes(0x3000, 27);
  testing::write_bytes(dir / "flash.bin", image);
  testing::RegctlBench bench(dock_controller({{"flash", {{"image", (dir / "flash.bin").string()}, {"fill", "0x00"}}}}));
  image[0x1000] ^= 1;
  image.resize(0x2802);
  testing::write_bytes(dir / "changed.bin", image);
  ASSERT_EQ(cli::flash_program({"--file", (dir / "changed.bin").string(), "--only-changed"}, false), 0);
  // Sectors 1 and 2 (the file ends in it) and every erased-to-be sector after them.
  EXPECT_EQ(bench.flash().counts().erases, kFlashSectorCount - 1);
  EXPECT_EQ(bench.flash().counts().bytes_programmed, kFlashSectorSize + 0x804);
  image.resize(kFlashSize, 0xFF);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), bench.flash().contents().begin()));
  EXPECT_NE(bench.console().out().find("flash program: 127 of 128 sectors differ\n"), std::string::npos);
}

// What a terminal shows: every character of a line overwrites from the cursor, which
// a carriage return puts back at the line's start.
std::vector<std::string> on_screen(const std::string& written) {
  std::vector<std::string> lines{""};
  std::size_t column = 0;
  for (const char c : written) {
    if (c == '\n') lines.emplace_back(), column = 0;
    else if (c == '\r') column = 0;
    else if (column < lines.back().size()) lines.back()[column++] = c;
    else lines.back() += c, ++column;
  }
  return lines;
}

TEST(FlashProgress, OnATerminalTheBarStaysBelowTheLibrarysLines) {
  TempDir dir;
  testing::write_bytes(dir / "image.bin", pattern_bytes(0x2000, 26));
  testing::RegctlBench bench;
  bench.console().attach_terminal(Stream::err, 80);
  ASSERT_EQ(cli::flash_program({"--file", (dir / "image.bin").string()}, false), 0);
  const auto screen = on_screen(bench.console().err());
  ASSERT_EQ(screen.size(), 1u + 1 + kFlashSectorCount + (kFlashSectorCount - 2) + 1);
  // Every line but the bar is one of the library's, with nothing of the bar left in it.
  for (std::size_t i = 0; i + 2 < screen.size(); ++i) {
    const std::string& line = screen[i];
    const char* start = i == 0 ? "spi_flash_type = " : line[0] == 'D' ? "Doing program_whole" : "WARN: ";
    EXPECT_TRUE(line.starts_with(start)) << line;
    EXPECT_EQ(line.find_first_of("#]"), std::string::npos) << line;
  }
  EXPECT_EQ(screen[screen.size() - 2], "[" + std::string(60, '#') + "] 100%");
  EXPECT_EQ(screen.back(), "");
}

}  // namespace
}  // namespace berth
