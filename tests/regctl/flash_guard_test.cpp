// Guard rails of flash program: images that cannot be meant are refused before any
// erase, a failure says whether the flash was changed, and the driver calls a program
// costs when most of the image is erased space or most of the flash is unchanged.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/cli_context.h"
#include "cli/flash_program.h"
#include "lib/regctl/spi_flash.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using testing::dock_controller;
using testing::json;
using testing::pattern_bytes;
using testing::RegctlBench;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

struct GuardCase {
  const char* name;
  std::size_t file_bytes;
  json changes;             // to the controller
  int exit_status;          // 2: refused as a bad argument
  const char* flash_changed;  // in the JSON of a run with --json; null: a run without
  const char* says;         // a line part of standard output or error
};

TEST(FlashGuard, RefusalsLeaveTheFlashAloneAndFailuresSayWhetherItChanged) {
  const GuardCase cases[] = {
      {"empty", 0, json::object(), 2, nullptr, "is empty; the flash is left untouched"},
      {"larger than the flash", kFlashSize + 1, json::object(), 2, nullptr, "has 524289 bytes; at most 524288 are read; the flash is left untouched"},
      {"unknown flash", 0x100, {{"flash", {{"id", "0x00134020"}}}}, 1, "false", "the flash is left untouched\n"},
      {"fails part-way", 0x100, {{"faults", testing::fail_call_after_setup(5000)}}, 1, "true", "program it again\n"},
      {"short", 0x100, json::object(), 0, nullptr, "verified; it has 256 bytes, the flash's last 524032 bytes are left erased (0xFF)\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    testing::write_bytes(dir / "image.bin", pattern_bytes(c.file_bytes, 5));
    RegctlBench bench(dock_controller(c.changes));
    const Bytes before(bench.flash().contents().begin(), bench.flash().contents().end());
    const std::string path = (dir / "image.bin").string();
    std::vector<std::string_view> args{"--file", path};
    if (c.flash_changed) args.push_back("--json");
    int status = 0;
    std::string said;
    try {
      status = cli::flash_program(args, false);
      said = bench.console().out() + bench.console().err();
    } catch (const cli::UsageError& error) {
      status = cli::kExitUsage;
      said = error.message;
    }
    EXPECT_EQ(status, c.exit_status);
    EXPECT_NE(said.find(c.says), std::string::npos) << said;
    if (c.flash_changed) {
      EXPECT_NE(bench.console().out().find(std::string("\"flash_changed\":") + c.flash_changed), std::string::npos);
    }
    if (c.exit_status == cli::kExitUsage || (c.flash_changed && std::string_view(c.flash_changed) == "false")) {
      EXPECT_EQ(bench.flash().counts().erases, 0u);
      EXPECT_TRUE(Bytes(bench.flash().contents().begin(), bench.flash().contents().end()) == before);
    }
  }
}

// Driver calls per byte of the flash. A whole program reads back every byte (two
// calls a byte) after its erases and programs; words that are all ones need no program
// into an erased sector, and a sector found unchanged needs no second read.
TEST(FlashGuard, ErasedSpaceAndUnchangedSectorsCostNoProgramAndNoSecondRead) {
  Bytes image(kFlashSize, 0xFF);
  const auto sector = pattern_bytes(kFlashSectorSize, 9);
  std::copy(sector.begin(), sector.end(), image.begin() + 5 * kFlashSectorSize);
  TempDir dir;
  const std::string path = (dir / "image.bin").string();
  testing::write_bytes(path, image);
  const std::vector<std::string_view> whole{"--file", path};
  const std::vector<std::string_view> changed{"--file", path, "--only-changed"};
  const double whole_read = 2.0 * kFlashSize;

  RegctlBench bench;
  const auto calls = [&] { return static_cast<double>(bench.driver().call_count(0)); };
  double start = calls();
  ASSERT_EQ(cli::flash_program(whole, false), 0);
  EXPECT_LE((calls() - start) / kFlashSize, 2.5);

  image[5 * kFlashSectorSize + 7] ^= 0x10;
  testing::write_bytes(path, image);
  start = calls();
  ASSERT_EQ(cli::flash_program(changed, false), 0);
  EXPECT_LE(calls() - start, whole_read + 60000);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), bench.flash().contents().begin()));
}

// Every command of a machine whose flash persists rewrites the image: a reader holding
// the old file keeps the old bytes whole, never a mix of old and new.
TEST(FlashGuard, APersistedImageIsReplacedWholeNotRewrittenInPlace) {
  TempDir dir;
  const auto old_image = pattern_bytes(kFlashSize, 31);
  testing::write_bytes(dir / "flash.bin", old_image);
  std::ifstream reader(dir / "flash.bin", std::ios::binary);
  {
    RegctlBench bench(dock_controller({{"flash", {{"image", (dir / "flash.bin").string()}, {"persist", true}}}}));
    ASSERT_TRUE(sector_erase_4KB_9182_spi_flash(bench.connect, bench.dev(), 0));
  }
  const Bytes held{std::istreambuf_iterator<char>(reader), std::istreambuf_iterator<char>()};
  EXPECT_TRUE(held == old_image);
  EXPECT_EQ(testing::read_bytes(dir / "flash.bin")[0], 0xFF);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

}  // namespace
}  // namespace berth
