// Whole-flash dump and programming against the flash model: round trips byte for
// byte with the lines of the whole-flash programming, the mistakes the flash catches,
// the refusal of unknown flash types, images shorter than the flash, chosen sectors,
// the entry points and the fixed /tmp files.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <functional>

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

TEST(WholeFlash, DumpThenProgramRewritesTheSameBytesWithTheProgressLines) {
  TempDir dir;
  const auto original = pattern_bytes(kFlashSize, 1);
  testing::write_bytes(dir / "original.bin", original);
  RegctlBench source(on_bus(201, {{"flash", {{"image", (dir / "original.bin").string()}}}}));
  ASSERT_TRUE(dump_9182_spi_flash(source.connect, source.dev()));
  const auto bytes = testing::read_bytes(dump_path(201));
  std::filesystem::remove(dump_path(201));
  ASSERT_TRUE(bytes == original);

  RegctlBench target(dock_controller({{"flash", {{"fill", "0x5A"}}}}));
  std::uint32_t announced = 0;
  ASSERT_TRUE(program_whole_9182_spi_flash_bytes(target.connect, target.dev(), bytes,
                                                 [&](std::uint32_t sector) { EXPECT_EQ(sector, announced++); }));
  EXPECT_EQ(announced, kFlashSectorCount);
  EXPECT_TRUE(contents(target) == original);
  EXPECT_EQ(target.flash().violations().total() + target.controller().spi().errors().total(), 0u);
  EXPECT_EQ(target.flash().counts().erases, kFlashSectorCount);
  EXPECT_EQ(target.dev()->dev_aux_v, 99u);
  const std::string err = target.console().err();
  EXPECT_EQ(err.rfind("spi_flash_type = 1330EFh\nDoing program_whole_9182_spi_flash, sec_cnt = 00000000, pgs=0\n"
                      "Doing program_whole_9182_spi_flash, sec_cnt = 00000001, pgs=0\n", 0), 0u);
  EXPECT_TRUE(err.ends_with("Doing program_whole_9182_spi_flash, sec_cnt = 0000007F, pgs=99\n"));
  EXPECT_EQ(count_of(err, "\n"), 129u);
}

TEST(WholeFlash, AShortImageLeavesTheRestErasedWithOneWarningPerSector) {
  // Three sectors and six bytes: the last word has two bytes of the image.
  const auto image = pattern_bytes(3 * kFlashSectorSize + 6, 4);
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  ASSERT_TRUE(program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), image, {}));
  EXPECT_TRUE(contents(bench) == erased_after(image));
  const std::string warning = "WARN: program_whole_9182_spi_flash, read dmp_spi_flash EOF, total_bytes=3008\n";
  EXPECT_EQ(count_of(bench.console().err(), warning), kFlashSectorCount - 3);
  EXPECT_NE(bench.console().err().find("sec_cnt = 00000003, pgs=2\n" + warning), std::string::npos);
}

TEST(WholeFlash, ChosenSectorsGetWhatAWholeProgramPutsThereAndNothingElse) {
  const auto image = pattern_bytes(3 * kFlashSectorSize + 6, 5);
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  FlashSectors chosen;
  for (const std::uint32_t sector : {1, 3, 100}) chosen.set(sector);
  std::vector<std::uint32_t> announced;
  ASSERT_TRUE(program_9182_spi_flash_sectors(bench.connect, bench.dev(), image, chosen,
                                             [&](std::uint32_t sector) { announced.push_back(sector); }));
  EXPECT_EQ(announced, (std::vector<std::uint32_t>{1, 3, 100}));
  const Bytes whole = erased_after(image);
  const Bytes untouched(kFlashSize, 0x00);
  const Bytes flash = contents(bench);
  for (std::uint32_t sector = 0; sector < kFlashSectorCount; ++sector) {
    const Bytes& expected = chosen.test(sector) ? whole : untouched;
    const auto at = static_cast<std::ptrdiff_t>(sector * kFlashSectorSize);
    EXPECT_TRUE(std::equal(flash.begin() + at, flash.begin() + at + kFlashSectorSize, expected.begin() + at)) << sector;
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
    EXPECT_FALSE(program_9182_spi_flash_sectors(bench.connect, bench.dev(), pattern_bytes(64, 2), FlashSectors().set(), {}));
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

TEST(FlashModel, AProgramOnlyClearsBitsAndWithoutEraseTheFlashNotices) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x0F"}}}}));
  ASSERT_TRUE(program_4Bytes_9182_spi_flash(bench.connect, bench.dev(), 0x100, 0xF0F0FFFF));
  EXPECT_EQ(bench.flash().byte_at(0x100), 0x0F);
  EXPECT_EQ(bench.flash().byte_at(0x103), 0x00);
  EXPECT_EQ(bench.flash().violations().program_over_unerased, 4u);
}

TEST(FlashModel, WritesWithoutWriteEnableOrWhileBusyAreIgnoredAndCounted) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  const std::uint32_t data = 0;
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiSectorErase4KB, 0x1000}), kIOReturnSuccess);
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiProgram4Bytes, 0x1000, &data}), kIOReturnSuccess);
  EXPECT_EQ(bench.flash().violations().without_write_enable, 2u);
  EXPECT_EQ(bench.flash().counts().erases, 0u);
  // An erase with no status wait after it: the next command reaches a busy flash.
  ASSERT_TRUE(write_enable_9182_spi_flash(bench.connect, bench.dev()));
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiSectorErase4KB, 0}), kIOReturnSuccess);
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiWriteEnable}), kIOReturnSuccess);
  EXPECT_EQ(bench.flash().violations().while_busy, 1u);
}

TEST(FlashEntryPoints, ARecordWithoutServiceIsRefusedWithoutOpening) {
  RegctlBench bench;
  sDevice record{};
  EXPECT_EQ(spi_flash_dump(&record), kIOReturnBadArgument);
  EXPECT_EQ(spi_flash_program_flash(&record), kIOReturnBadArgument);
  EXPECT_EQ(spi_flash_dump(nullptr), kIOReturnBadArgument);
  EXPECT_EQ(bench.driver().connections_opened(), 1u);
}

TEST(FlashEntryPoints, AConnectionThatCannotBeOpenedIsErr2) {
  RegctlBench bench(testing::driver_machine({dock_controller(), dock_controller({{"open_status", "0xE00002C5"}})}));
  sDevice record{};
  record.service = bench.driver().service_handle(1);
  EXPECT_EQ(spi_flash_dump(&record), kIOReturnError);
  EXPECT_EQ(spi_flash_program_flash(&record), kIOReturnError);
  EXPECT_EQ(bench.console().err(), "spi_flash_dump Err2\nspi_flash_program_flash Err2\n");
}

TEST(FlashEntryPoints, TheDumpIsAPrivateFileOfTheWholeFlashAndTheConnectionIsClosed) {
  const std::string path = dump_path(202);
  testing::write_bytes(path, {9});  // an old dump of ours, readable by others
  ::chmod(path.c_str(), 0644);
  RegctlBench bench(on_bus(202, {{"flash", {{"fill", "0x3C"}}}}));
  ASSERT_EQ(spi_flash_dump(bench.dev()), kIOReturnSuccess);
  struct stat info {};
  ASSERT_EQ(::lstat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_TRUE(testing::read_bytes(path) == Bytes(kFlashSize, 0x3C));
  std::filesystem::remove(path);
  EXPECT_EQ(bench.driver().open_connections(), 1u);  // the bench's own
  // The words at 0 to 0x138 are echoed on standard error.
  EXPECT_EQ(bench.console().err(), [] {
    std::string lines;
    for (int word = 0; word <= 0x138 / 4; ++word) lines += "[3C3C3C3C]\n";
    return lines;
  }());
}

// Sound behaviour: /tmp is shared, so the dump never writes through a name that
// someone else may have planted there.
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
    EXPECT_EQ(spi_flash_dump(bench.dev()), kIOReturnError);
    std::filesystem::remove(path);
    EXPECT_TRUE(testing::read_bytes(dir / "victim") == (Bytes{1, 2, 3}));
    EXPECT_EQ(bench.console().err(), "cannot write " + path + ": " + reason + "\ndump_9182_spi_flash Err\nspi_flash_dump Err1\n");
  }
}

// The two fixed input files are shared by every process on the machine, so everything
// that uses them runs in this one test.
TEST(FlashFixedFiles, WholeFlashAndBiosProgrammingReadTheirFixedFilesWithoutFollowingLinks) {
  TempDir dir;
  const auto whole = pattern_bytes(kFlashSize, 7);
  {
    SCOPED_TRACE("whole flash from /tmp/dmp_spi_flash");
    testing::write_bytes(kWholeFlashImagePath, whole);
    RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
    EXPECT_EQ(spi_flash_program_flash(bench.dev()), kIOReturnSuccess);
    EXPECT_TRUE(contents(bench) == whole);
    EXPECT_EQ(count_of(bench.console().err(), "Doing program_whole_9182_spi_flash"), kFlashSectorCount);
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
    EXPECT_TRUE(bench.console().err().ends_with("sector_erase_4KB_9182_spi_flash Err\nprogram_BIOS_9182_spi_flash Err\n"));
    EXPECT_EQ(bench.console().out(), "");
  }
  {
    SCOPED_TRACE("no BIOS image");
    RegctlBench bench;
    EXPECT_FALSE(program_BIOS_9182_spi_flash(bench.connect, bench.dev()));
    EXPECT_EQ(bench.console().out() + bench.console().err(), "");
  }
}

}  // namespace
}  // namespace berth
