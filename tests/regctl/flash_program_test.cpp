// Whole-flash dump and programming against the flash model, the entry points and their
// fixed /tmp files, a fault at every call of a program, and berthctl's flash program.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "cli/cli_context.h"
#include "cli/flash_program.h"
#include "platform/services.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using namespace testing;
namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using Counts = std::vector<std::uint64_t>;

// The dock controller with an all-zero flash and `changes` merged in.
json zeroed(json changes = json::object()) {
  changes["flash"]["fill"] = "0x00";
  return dock_controller(changes);
}

Bytes erased_after(Bytes image) {
  image.resize(kFlashSize, 0xFF);
  return image;
}

// Sound behaviour: a flash whose programming is not known is refused before any erase
// would wipe it. A protecting flash is programmed, each sector unprotected first.
TEST(WholeFlash, AnUnknownFlashIsRefusedBeforeAnyEraseAndAProtectingOneIsProgrammed) {
  for (const auto& [id, line] : std::vector<std::pair<const char*, std::string>>{
           {"0x00134020", "unknown ven id = 20h\n"}, {"0x001440EF", "unknown dev id = 1440h\n"},
           {"0x00000010", "unknown ven id = 10h\n"}, {"0", "unknown ven id = 0h\n"}}) {
    SCOPED_TRACE(id);
    RegctlBench bench(zeroed({{"flash", {{"id", id}}}}));
    const std::string type = format("spi_flash_type = %Xh\n", bench.dev()->spi_flash_id);
    EXPECT_FALSE(program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), pattern_bytes(64, 2), {}));
    EXPECT_FALSE(program_9182_spi_flash_sectors(bench.connect, bench.dev(), {}, FlashSectors().set(), {}));
    const std::string refusal = "Flash type not support, " + line;
    EXPECT_EQ(bench.console().err(), type + refusal + "program_whole_9182_spi_flash error done\n" + refusal);
    EXPECT_EQ(bench.flash().counts().erases, 0u);
  }
  const auto image = pattern_bytes(2 * kFlashSectorSize, 3);
  RegctlBench bench(zeroed({{"flash", {{"id", "0x0001441F"}, {"protected", true}}}}));
  ASSERT_TRUE(program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), image, {}));
  EXPECT_TRUE(bench.flash_bytes() == erased_after(image));
  EXPECT_EQ(bench.flash().violations().total(), 0u);
}

// Sound behaviour: /tmp is shared, so the dump never writes through a name that someone
// else may have planted there, nor may such a name block dumps for good: the dump goes
// to a private file beside it, named on standard error. An old dump of ours is replaced.
TEST(FlashEntryPoints, ADumpReplacesAnOldOneButNeverWritesThroughALinkAnotherNameOrAFifo) {
  TempDir dir;
  const std::string path = "/tmp/dmp_spi_flash_bus203_dev0_fun0";
  write_bytes(dir / "flash.bin", pattern_bytes(kFlashSize, 7));
  const std::vector<std::pair<std::function<void()>, std::string>> plants{
      {[&] { write_bytes(path, {9}), ::chmod(path.c_str(), 0644); }, ""},
      {[&] { fs::create_symlink(dir / "victim", path); }, "it is a symbolic link"},
      {[&] { fs::create_hard_link(dir / "victim", path); }, "it has other names (hard links)"},
      {[&] { ::mkfifo(path.c_str(), 0600); }, "it is not a plain file"}};
  for (const auto& [plant, reason] : plants) {
    SCOPED_TRACE(reason);
    write_bytes(dir / "victim", {1, 2, 3});
    fs::remove(path);
    plant();
    RegctlBench bench(dock_controller({{"bus", 203}, {"flash", {{"image", (dir / "flash.bin").string()}}}}));
    EXPECT_EQ(spi_flash_dump(bench.dev()), kIOReturnSuccess);
    const std::string used = last_9182_spi_flash_dump_path();
    EXPECT_TRUE(read_bytes(used) == bench.flash_bytes());
    EXPECT_EQ(fs::status(used).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(bench.driver().open_connections(), 1u);  // the bench's own
    EXPECT_EQ(count_of(bench.console().err(), "]\n"), 0x138u / 4 + 1);  // the words at 0 to 0x138
    fs::remove(used);
    fs::remove(path);
    EXPECT_TRUE(read_bytes(dir / "victim") == (Bytes{1, 2, 3}));
    EXPECT_TRUE(used.starts_with(path) && (used == path) == reason.empty()) << used;
    const std::string taken = "cannot write " + path + ": " + reason + "\ndump_9182_spi_flash: " + path +
                              " is taken; the dump goes to " + used + "\n";
    EXPECT_TRUE(bench.console().err().starts_with((reason.empty() ? "" : taken) + "[")) << bench.console().err();
  }
}

// A persisted image is replaced whole, not rewritten in place: a reader holding the old
// file still reads the old bytes whole, and no temporary file is left beside it.
TEST(FlashModel, APersistedImageIsReplacedWholeNotRewrittenInPlace) {
  TempDir dir;
  const auto old_image = pattern_bytes(kFlashSize, 31);
  write_bytes(dir / "flash.bin", old_image);
  std::ifstream reader(dir / "flash.bin", std::ios::binary);
  {
    RegctlBench bench(dock_controller({{"flash", {{"image", (dir / "flash.bin").string()}, {"persist", true}}}}));
    ASSERT_TRUE(sector_erase_4KB_9182_spi_flash(bench.connect, bench.dev(), 0));
  }
  Bytes new_image = old_image;
  std::fill_n(new_image.begin(), kFlashSectorSize, 0xFF);
  EXPECT_TRUE(Bytes(std::istreambuf_iterator<char>(reader), {}) == old_image);
  EXPECT_TRUE(read_bytes(dir / "flash.bin") == new_image);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

// The fixed input files are shared by every process, so all that uses them runs in this
// one test. A short image leaves the rest erased, with a warning for each sector after it.
TEST(FlashFixedFiles, WholeFlashAndBiosProgrammingReadTheirFixedFilesWithoutFollowingLinks) {
  TempDir dir;
  const auto image = pattern_bytes(3 * kFlashSectorSize + 6, 4);
  {
    SCOPED_TRACE("a short image in /tmp/dmp_spi_flash");
    write_bytes(kWholeFlashImagePath, image);
    RegctlBench bench(dock_controller({{"flash", {{"fill", "0x5A"}}}}));
    EXPECT_EQ(spi_flash_program_flash(bench.dev()), kIOReturnSuccess);
    EXPECT_TRUE(bench.flash_bytes() == erased_after(image));
    const auto mistakes = bench.flash().violations().total() + bench.controller().spi().errors().total();
    EXPECT_EQ((Counts{mistakes, bench.flash().counts().erases, bench.dev()->dev_aux_v}), (Counts{0, 128, 99}));
    const std::string warning = "WARN: program_whole_9182_spi_flash, read dmp_spi_flash EOF, total_bytes=3008\n";
    EXPECT_EQ(count_of(bench.console().err(), warning), kFlashSectorCount - 3);
    EXPECT_TRUE(bench.console().err().ends_with("sec_cnt = 0000007F, pgs=99\n" + warning));
  }
  {
    SCOPED_TRACE("/tmp/dmp_spi_flash as a symbolic link");
    fs::remove(kWholeFlashImagePath);
    write_bytes(dir / "other", image);
    fs::create_symlink(dir / "other", kWholeFlashImagePath);
    RegctlBench bench(zeroed());
    EXPECT_EQ(spi_flash_program_flash(bench.dev()), kIOReturnError);
    EXPECT_EQ(bench.console().err(),
              "spi_flash_type = 1330EFh\ncannot read /tmp/dmp_spi_flash: it is a symbolic link\n"
              "Can't find dmp_spi_flash Err\nprogram_whole_9182_spi_flash error done\nspi_flash_program_flash Err1\n");
    EXPECT_EQ(bench.flash().counts().erases, 0u);
    fs::remove(kWholeFlashImagePath);
  }
  {
    SCOPED_TRACE("BIOS image of 10000 bytes");
    const auto bios = pattern_bytes(10000, 8);
    write_bytes(kBiosImagePath, bios);
    RegctlBench bench(zeroed());
    EXPECT_TRUE(program_BIOS_9182_spi_flash(bench.connect, bench.dev()));
    fs::remove(kBiosImagePath);
    auto expected = Bytes(kFlashSize, 0x00);
    std::fill_n(expected.begin() + kBiosImageBase, kBiosImageSectors * kFlashSectorSize, 0xFF);
    std::copy(bios.begin(), bios.end(), expected.begin() + kBiosImageBase);
    EXPECT_TRUE(bench.flash_bytes() == expected);
    const std::string eof = "WARN: program_BIOS_9182_spi_flash, read m9182bios.bin EOF, total_bytes_from_bios=2710\n";
    EXPECT_EQ(bench.console().out(), eof + eof + eof + eof + eof + "program_BIOS_9182_spi_flash done\n");
  }
  // Sound behaviour: a failed erase (call 30 is inside the first one) fails the
  // programming instead of leaving the region erased behind a success.
  SCOPED_TRACE("BIOS image with a failing erase, then none");
  write_bytes(kBiosImagePath, pattern_bytes(100, 9));
  RegctlBench bench(dock_controller({{"faults", fail_call_after_setup(30)}}));
  EXPECT_FALSE(program_BIOS_9182_spi_flash(bench.connect, bench.dev()));
  fs::remove(kBiosImagePath);
  EXPECT_TRUE(bench.console().err().ends_with("erase_4KB_9182_spi_flash Err\nprogram_BIOS_9182_spi_flash Err\n"));
  EXPECT_EQ(bench.console().out(), "");
  bench.console().clear();
  EXPECT_FALSE(program_BIOS_9182_spi_flash(bench.connect, bench.dev()));  // silently
  EXPECT_EQ(bench.console().out() + bench.console().err(), "");
}

// A driver call failing at any point of a whole-flash program (each of the first 400, 60
// spread over the rest, the last) ends it with its failure line or, where the failure
// does not matter, with the whole image in the flash: never a success over wrong contents.
TEST(FlashFaults, EveryFailingCallOfAWholeFlashProgramEndsClearly) {
  // Three sectors of data: the run erases all 128 sectors and programs three.
  const auto image = pattern_bytes(3 * kFlashSectorSize - 100, 11);
  RegctlBench clean(zeroed());
  const std::uint64_t setup = clean.driver().call_count(0);
  ASSERT_TRUE(program_whole_9182_spi_flash_bytes(clean.connect, clean.dev(), image, {}));
  const std::uint64_t total = clean.driver().call_count(0) - setup;
  std::set<std::uint64_t> positions{total};
  for (std::uint64_t p = 1; p <= 400; ++p) positions.insert(p);
  for (std::uint64_t i = 1; i <= 60; ++i) positions.insert(400 + (total - 400) * i / 60);
  std::size_t survived = 0;
  for (const auto position : positions) {
    SCOPED_TRACE("failing call " + std::to_string(position) + " of " + std::to_string(total));
    RegctlBench bench(zeroed({{"faults", {{"fail_call", setup + position}}}}));
    const bool ok = program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), image, {});
    EXPECT_LE(bench.driver().call_count(0) - setup, total);
    survived += ok;
    EXPECT_TRUE(ok ? bench.flash_bytes() == clean.flash_bytes()
                   : bench.console().err().ends_with(" Err\nprogram_whole_9182_spi_flash error done\n"))
        << (ok ? "success over wrong contents" : bench.console().err());
  }
  // The unprotect before each erase may fail without harm; every other call matters.
  EXPECT_GT(survived, 0u);
  EXPECT_GT(positions.size() - survived, survived);
}

// berthctl's flash program refuses an image that cannot be meant before any erase; a
// failure says whether the flash was changed: not by an unknown flash, by one part-way.
TEST(FlashGuard, RefusalsLeaveTheFlashAloneAndAFailureSaysItChanged) {
  TempDir dir;
  const std::string path = (dir / "image.bin").string();
  for (const auto& [size, says] : std::vector<std::pair<std::size_t, std::string>>{
           {0, "is empty; the flash is left untouched"},
           {kFlashSize + 1, "has 524289 bytes; at most 524288 are read; the flash is left untouched"}}) {
    SCOPED_TRACE(size);
    write_bytes(path, pattern_bytes(size, 5));
    RegctlBench bench;
    try {
      cli::flash_program({"--file", path}, false);
      ADD_FAILURE() << "not refused";
    } catch (const cli::UsageError& error) {
      EXPECT_NE(error.message.find(says), std::string::npos) << error.message;
    }
    EXPECT_EQ(bench.flash().counts().erases + bench.flash().counts().bytes_programmed, 0u);
  }
  write_bytes(path, pattern_bytes(0x100, 5));
  for (const auto& [service, changed] : {std::pair{zeroed({{"flash", {{"id", "0x00134020"}}}}), false},
                                         {dock_controller({{"faults", fail_call_after_setup(5000)}}), true}}) {
    RegctlBench bench(service);
    EXPECT_EQ(cli::flash_program({"--file", path, "--json"}, false), 1);
    EXPECT_NE(bench.console().out().find(changed ? "\"flash_changed\":true" : "\"flash_changed\":false"),
              std::string::npos) << bench.console().out();
    EXPECT_TRUE(bench.console().err().ends_with(changed ? "program it again\n" : "the flash is left untouched\n"));
  }
}

// Most of an image is erased space and most of a reprogrammed flash is unchanged. A whole program reads back every
// byte (two calls a byte) after its erases and programs; words that are all ones need no program into an erased
// sector. --only-changed erases and programs only the sectors that differ, past the file's end too, and reads none
// twice; the file ends inside its last word, which gets 0xFF after the file's two bytes.
TEST(FlashProgram, ErasedSpaceAndUnchangedSectorsCostNoProgramAndNoSecondRead) {
  Bytes image(5 * kFlashSectorSize, 0xFF);
  const auto sector = pattern_bytes(kFlashSectorSize - 2, 9);
  image.insert(image.end(), sector.begin(), sector.end());
  TempDir dir;
  const std::string path = dir.write("image.bin", std::string(image.begin(), image.end()));
  RegctlBench bench;
  const auto calls = [&] { return static_cast<double>(bench.driver().call_count(0)); };
  double start = calls();
  ASSERT_EQ(cli::flash_program({"--file", path}, false), 0);
  EXPECT_LE((calls() - start) / kFlashSize, 2.5);
  EXPECT_EQ(bench.flash().counts().bytes_programmed, kFlashSectorSize);
  image[5 * kFlashSectorSize + 7] ^= 0x10;
  write_bytes(path, image);
  ASSERT_TRUE(program_4Bytes_9182_spi_flash(bench.connect, bench.dev(), 64 * kFlashSectorSize, 0));
  start = calls();
  const auto erases = bench.flash().counts().erases;
  ASSERT_EQ(cli::flash_program({"--file", path, "--only-changed"}, false), 0);
  EXPECT_LE(calls() - start, 2.0 * kFlashSize + 80000);  // one read, two sectors written
  EXPECT_EQ(bench.flash().counts().erases - erases, 2u);
  EXPECT_EQ(bench.flash().counts().bytes_programmed, 2 * kFlashSectorSize + 4);
  EXPECT_TRUE(bench.flash_bytes() == erased_after(image));
  EXPECT_NE(bench.console().out().find("flash program: 2 of 128 sectors differ\n"), std::string::npos);
}

}  // namespace
}  // namespace berth
