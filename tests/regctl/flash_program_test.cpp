// Whole-flash dump and programming against the flash model: round trips byte for
// byte with the lines of the whole-flash programming, the mistakes the flash catches,
// the refusal of unknown flash types, images shorter than the flash, chosen sectors,
// the entry points, the fixed /tmp files, a fault at every position of a program, and
// berthctl's flash program (only the sectors that differ, the progress bar on a terminal).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>
#include <set>

#include "cli/flash_program.h"
#include "lib/regctl/spi_flash.h"
#include "lib/regctl/spi_transaction.h"
#include "platform/services.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using testing::count_of;
using testing::dock_controller;
using testing::json;
using testing::pattern_bytes;
using testing::RegctlBench;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

Bytes contents(RegctlBench& bench) {
  const auto bytes = bench.flash().contents();
  return {bytes.begin(), bytes.end()};
}

Bytes erased_after(Bytes image) {
  image.resize(kFlashSize, 0xFF);
  return image;
}

json on_bus(std::uint32_t bus, const json& changes = json::object()) {
  json service = dock_controller(changes);
  service["bus"] = bus;
  return service;
}

std::string dump_path(std::uint32_t bus) { return "/tmp/dmp_spi_flash_bus" + std::to_string(bus) + "_dev0_fun0"; }

// Three sectors and six bytes: the last word has two bytes of the image. Chosen
// sectors get what a whole program puts there, and nothing else changes.
TEST(WholeFlash, AShortImageLeavesTheRestErasedAndChosenSectorsGetTheSameBytes) {
  const auto image = pattern_bytes(3 * kFlashSectorSize + 6, 4);
  const Bytes expected = erased_after(image);
  RegctlBench whole(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  ASSERT_TRUE(program_whole_9182_spi_flash_bytes(whole.connect, whole.dev(), image, {}));
  EXPECT_TRUE(contents(whole) == expected);
  const std::string warning = "WARN: program_whole_9182_spi_flash, read dmp_spi_flash EOF, total_bytes=3008\n";
  EXPECT_EQ(count_of(whole.console().err(), warning), kFlashSectorCount - 3);
  EXPECT_NE(whole.console().err().find("sec_cnt = 00000003, pgs=2\n" + warning), std::string::npos);

  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  FlashSectors chosen;
  std::vector<std::uint32_t> announced;
  for (const std::uint32_t sector : {1, 3, 100}) chosen.set(sector);
  ASSERT_TRUE(program_9182_spi_flash_sectors(bench.connect, bench.dev(), image, chosen,
                                             [&](std::uint32_t sector) { announced.push_back(sector); }));
  EXPECT_EQ(announced, (std::vector<std::uint32_t>{1, 3, 100}));
  const Bytes flash = contents(bench);
  const Bytes untouched(kFlashSize, 0x00);
  for (std::uint32_t sector = 0; sector < kFlashSectorCount; ++sector) {
    const auto at = static_cast<std::ptrdiff_t>(sector * kFlashSectorSize);
    const Bytes& want = chosen.test(sector) ? expected : untouched;
    EXPECT_TRUE(std::equal(flash.begin() + at, flash.begin() + at + kFlashSectorSize, want.begin() + at)) << sector;
  }
  // The words of the file and no more: the erased rest is not programmed.
  EXPECT_EQ(bench.flash().counts().bytes_programmed, kFlashSectorSize + 8);
  EXPECT_EQ(bench.console().err(), "");
}

// Sound behaviour: erasing a flash whose programming is not known would wipe it for
// good; it is refused before any erase.
TEST(WholeFlash, AnUnknownFlashIsRefusedBeforeAnyErase) {
  const std::vector<std::pair<const char*, std::string>> cases{
      {"0x00134020", "Flash type not support, unknown ven id = 20h\n"},
      {"0x001440EF", "Flash type not support, unknown dev id = 1440h\n"},
      {"0x00000010", "Flash type not support, unknown ven id = 10h\n"},
      {"0", "Flash type not support, unknown ven id = 0h\n"}};
  for (const auto& [id, line] : cases) {
    SCOPED_TRACE(id);
    RegctlBench bench(dock_controller({{"flash", {{"id", id}, {"fill", "0x00"}}}}));
    const std::string type = format("spi_flash_type = %Xh\n", bench.dev()->spi_flash_id);
    EXPECT_FALSE(program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), pattern_bytes(64, 2), {}));
    EXPECT_FALSE(program_9182_spi_flash_sectors(bench.connect, bench.dev(), {}, FlashSectors().set(), {}));
    EXPECT_EQ(bench.console().err(), type + line + "program_whole_9182_spi_flash error done\n" + line);
    EXPECT_EQ(bench.flash().counts().erases, 0u);
  }
}

TEST(WholeFlash, AProtectingFlashIsProgrammedBecauseEachSectorIsUnprotectedFirst) {
  const auto image = pattern_bytes(2 * kFlashSectorSize, 3);
  RegctlBench bench(dock_controller({{"flash", {{"id", "0x0001441F"}, {"protected", true}, {"fill", "0x00"}}}}));
  ASSERT_TRUE(program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), image, {}));
  EXPECT_TRUE(contents(bench) == erased_after(image));
  EXPECT_EQ(bench.flash().violations().total(), 0u);
}

TEST(FlashModel, ProgramsWithoutEraseOrWriteEnableAndCommandsWhileBusyAreCaught) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x0F"}}}}));
  ASSERT_TRUE(program_4Bytes_9182_spi_flash(bench.connect, bench.dev(), 0x100, 0xF0F0FFFF));
  EXPECT_EQ(bench.flash().byte_at(0x100), 0x0F);  // programming only clears bits
  EXPECT_EQ(bench.flash().byte_at(0x103), 0x00);
  EXPECT_EQ(bench.flash().violations().program_over_unerased, 4u);
  const std::uint32_t data = 0;
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiSectorErase4KB, 0x1000}), kIOReturnSuccess);
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiProgram4Bytes, 0x1000, &data}), kIOReturnSuccess);
  EXPECT_EQ(bench.flash().violations().without_write_enable, 2u);
  EXPECT_EQ(bench.flash().byte_at(0x1000), 0x0F);
  // An erase with no status wait after it: the next command reaches a busy flash.
  ASSERT_TRUE(write_enable_9182_spi_flash(bench.connect, bench.dev()));
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiSectorErase4KB, 0}), kIOReturnSuccess);
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiWriteEnable}), kIOReturnSuccess);
  EXPECT_EQ(bench.flash().violations().while_busy, 1u);
}

TEST(FlashEntryPoints, NoServiceIsRefusedWithoutOpeningAndAConnectionThatCannotOpenIsErr2) {
  RegctlBench bench(testing::driver_machine({dock_controller(), dock_controller({{"open_status", "0xE00002C5"}})}));
  sDevice record{};
  EXPECT_EQ(spi_flash_dump(&record), kIOReturnBadArgument);
  EXPECT_EQ(spi_flash_program_flash(&record), kIOReturnBadArgument);
  EXPECT_EQ(spi_flash_dump(nullptr), kIOReturnBadArgument);
  EXPECT_EQ(bench.driver().connections_opened(), 1u);
  record.service = bench.driver().service_handle(1);
  EXPECT_EQ(spi_flash_dump(&record), kIOReturnError);
  EXPECT_EQ(spi_flash_program_flash(&record), kIOReturnError);
  EXPECT_EQ(bench.console().err(), "spi_flash_dump Err2\nspi_flash_program_flash Err2\n");
}

// Sound behaviour: /tmp is shared, so the dump never writes through a name that
// someone else may have planted there; nor may such a name block dumps for good: the
// dump goes to a private file beside it, named on standard error.
TEST(FlashEntryPoints, ADumpNeverWritesThroughALinkAnotherNameOrAFifo) {
  TempDir dir;
  const std::string path = dump_path(203);
  const std::vector<std::pair<std::function<void()>, std::string>> plants{
      {[&] { std::filesystem::create_symlink(dir / "victim", path); }, "it is a symbolic link"},
      {[&] { std::filesystem::create_hard_link(dir / "victim", path); }, "it has other names (hard links)"},
      {[&] { ::mkfifo(path.c_str(), 0600); }, "it is not a plain file"}};
  for (const auto& [plant, reason] : plants) {
    SCOPED_TRACE(reason);
    testing::write_bytes(dir / "victim", {1, 2, 3});
    std::filesystem::remove(path);
    plant();
    RegctlBench bench(on_bus(203));
    EXPECT_EQ(spi_flash_dump(bench.dev()), kIOReturnSuccess);
    std::filesystem::remove(path);
    EXPECT_TRUE(testing::read_bytes(dir / "victim") == (Bytes{1, 2, 3}));
    const std::string used = last_9182_spi_flash_dump_path();
    EXPECT_TRUE(used.starts_with(path + ".")) << used;
    EXPECT_TRUE(testing::read_bytes(used) == contents(bench));
    std::filesystem::remove(used);
    EXPECT_TRUE(bench.console().err().starts_with("cannot write " + path + ": " + reason + "\ndump_9182_spi_flash: " +
                                                  path + " is taken; the dump goes to " + used + "\n["));
  }
}

// The two fixed input files are shared by every process on the machine, so everything
// that uses them runs in this one test: a dump programmed back, the whole-flash file as
// a link, and the BIOS image.
TEST(FlashFixedFiles, WholeFlashAndBiosProgrammingReadTheirFixedFilesWithoutFollowingLinks) {
  TempDir dir;
  const auto whole = pattern_bytes(kFlashSize, 7);
  {
    SCOPED_TRACE("a dump programmed back from /tmp/dmp_spi_flash");
    const std::string dumped = dump_path(202);
    testing::write_bytes(dumped, {9});  // an old dump of ours, readable by others
    ::chmod(dumped.c_str(), 0644);
    testing::write_bytes(dir / "original.bin", whole);
    RegctlBench source(on_bus(202, {{"flash", {{"image", (dir / "original.bin").string()}}}}));
    ASSERT_EQ(spi_flash_dump(source.dev()), kIOReturnSuccess);
    struct stat info {};
    ASSERT_EQ(::lstat(dumped.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(source.driver().open_connections(), 1u);  // the bench's own
    EXPECT_EQ(count_of(source.console().err(), "]\n"), 0x138u / 4 + 1);  // the words at 0 to 0x138
    std::filesystem::rename(dumped, kWholeFlashImagePath);

    RegctlBench target(dock_controller({{"flash", {{"fill", "0x5A"}}}}));
    EXPECT_EQ(spi_flash_program_flash(target.dev()), kIOReturnSuccess);
    EXPECT_TRUE(contents(target) == whole);
    EXPECT_EQ(target.flash().violations().total() + target.controller().spi().errors().total(), 0u);
    EXPECT_EQ(target.flash().counts().erases, kFlashSectorCount);
    EXPECT_EQ(target.dev()->dev_aux_v, 99u);
    const std::string err = target.console().err();
    EXPECT_EQ(err.rfind("spi_flash_type = 1330EFh\nDoing program_whole_9182_spi_flash, sec_cnt = 00000000, pgs=0\n"
                        "Doing program_whole_9182_spi_flash, sec_cnt = 00000001, pgs=0\n", 0), 0u);
    EXPECT_TRUE(err.ends_with("Doing program_whole_9182_spi_flash, sec_cnt = 0000007F, pgs=99\n"));
    EXPECT_EQ(count_of(err, "\n"), 129u);
  }
  {
    SCOPED_TRACE("/tmp/dmp_spi_flash as a symbolic link");
    std::filesystem::remove(kWholeFlashImagePath);
    testing::write_bytes(dir / "other", whole);
    std::filesystem::create_symlink(dir / "other", kWholeFlashImagePath);
    RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
    EXPECT_EQ(spi_flash_program_flash(bench.dev()), kIOReturnError);
    EXPECT_EQ(bench.console().err(),
              "spi_flash_type = 1330EFh\ncannot read /tmp/dmp_spi_flash: it is a symbolic link\n"
              "Can't find dmp_spi_flash Err\nprogram_whole_9182_spi_flash error done\nspi_flash_program_flash Err1\n");
    EXPECT_EQ(bench.flash().counts().erases, 0u);
    std::filesystem::remove(kWholeFlashImagePath);
  }
  {
    SCOPED_TRACE("BIOS image of 10000 bytes");
    const auto bios = pattern_bytes(10000, 8);
    testing::write_bytes(kBiosImagePath, bios);
    RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
    EXPECT_TRUE(program_BIOS_9182_spi_flash(bench.connect, bench.dev()));
    std::filesystem::remove(kBiosImagePath);
    auto expected = Bytes(kFlashSize, 0x00);
    std::fill_n(expected.begin() + kBiosImageBase, kBiosImageSectors * kFlashSectorSize, 0xFF);
    std::copy(bios.begin(), bios.end(), expected.begin() + kBiosImageBase);
    EXPECT_TRUE(contents(bench) == expected);
    std::string lines;
    for (int sector = 2; sector < 7; ++sector)
      lines += "WARN: program_BIOS_9182_spi_flash, read m9182bios.bin EOF, total_bytes_from_bios=2710\n";
    EXPECT_EQ(bench.console().out(), lines + "program_BIOS_9182_spi_flash done\n");
  }
  {
    // Sound behaviour: a failed erase (call 30 is inside the first one) fails the
    // programming instead of leaving the region erased behind a success.
    SCOPED_TRACE("BIOS image with a failing erase");
    testing::write_bytes(kBiosImagePath, pattern_bytes(100, 9));
    RegctlBench bench(dock_controller({{"faults", testing::fail_call_after_setup(30)}}));
    EXPECT_FALSE(program_BIOS_9182_spi_flash(bench.connect, bench.dev()));
    std::filesystem::remove(kBiosImagePath);
    EXPECT_TRUE(
        bench.console().err().ends_with("sector_erase_4KB_9182_spi_flash Err\nprogram_BIOS_9182_spi_flash Err\n"));
    EXPECT_EQ(bench.console().out(), "");
  }
  {
    SCOPED_TRACE("no BIOS image");
    RegctlBench bench;
    EXPECT_FALSE(program_BIOS_9182_spi_flash(bench.connect, bench.dev()));
    EXPECT_EQ(bench.console().out() + bench.console().err(), "");
  }
}

// A driver call failing at any point of a whole-flash program: the program either
// ends with its failure line or, where the failure does not matter (a sector that did
// not need unprotecting), leaves the whole image in the flash. It never hangs and
// never reports success over wrong contents.
struct CleanRun {
  std::uint64_t setup_calls;  // made by the bench before the program starts
  std::uint64_t calls;        // made by the program
  std::vector<std::uint8_t> contents;
};

CleanRun clean_run(const std::vector<std::uint8_t>& image) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  const std::uint64_t setup = bench.driver().call_count(0);
  EXPECT_TRUE(program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), image, {}));
  const auto bytes = bench.flash().contents();
  return {setup, bench.driver().call_count(0) - setup, {bytes.begin(), bytes.end()}};
}

// Runs the program with the call at `position` (1 = its first) failing; true when
// the program reported success.
bool run_with_fault(const std::vector<std::uint8_t>& image, const CleanRun& clean, std::uint64_t position) {
  SCOPED_TRACE("failing call " + std::to_string(position) + " of " + std::to_string(clean.calls));
  RegctlBench bench(
      dock_controller({{"flash", {{"fill", "0x00"}}}, {"faults", {{"fail_call", clean.setup_calls + position}}}}));
  const bool ok = program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), image, {});
  EXPECT_LE(bench.driver().call_count(0) - clean.setup_calls, clean.calls);
  if (ok) {
    const auto bytes = bench.flash().contents();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), clean.contents.begin())) << "success over wrong contents";
  } else {
    const std::string& err = bench.console().err();
    EXPECT_TRUE(err.ends_with(" Err\nprogram_whole_9182_spi_flash error done\n")) << err;
  }
  return ok;
}

// Every one of the first positions (the first sector's erase, its unprotect, and the
// first programs), then positions spread over the rest of the run, and the last call.
std::set<std::uint64_t> positions(std::uint64_t total, std::uint64_t first, std::uint64_t spread) {
  std::set<std::uint64_t> chosen;
  for (std::uint64_t p = 1; p <= std::min(first, total); ++p) chosen.insert(p);
  for (std::uint64_t i = 1; i <= spread; ++i) chosen.insert(first + (total - first) * i / spread);
  chosen.insert(total);
  return chosen;
}

TEST(FlashFaults, EveryFailingCallOfAWholeFlashProgramEndsClearly) {
  // Three sectors of data: the run erases all 128 sectors and programs three.
  const auto image = testing::pattern_bytes(3 * kFlashSectorSize - 100, 11);
  const CleanRun clean = clean_run(image);
  std::size_t survived = 0;
  std::size_t failed = 0;
  for (const auto position : positions(clean.calls, 400, 60))
    (run_with_fault(image, clean, position) ? survived : failed)++;
  // The unprotect before each erase may fail without harm; every other call matters.
  EXPECT_GT(survived, 0u);
  EXPECT_GT(failed, survived);
}

// berthctl's flash program in this process, to see the flash model.

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
