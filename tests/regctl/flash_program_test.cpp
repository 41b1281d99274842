// Whole-flash dump and programming against the flash model: round trips byte for
// byte, the mistakes the flash catches, the refusal of unknown flash types, images
// shorter than the flash, and the BIOS image region.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

#include "lib/regctl/spi_flash.h"
#include "lib/regctl/spi_transaction.h"
#include "lib/regctl/window_access.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using testing::dock_controller;
using testing::json;
using testing::pattern_bytes;
using testing::RegctlBench;
using testing::TempDir;

std::vector<std::uint8_t> contents(RegctlBench& bench) {
  const auto bytes = bench.flash().contents();
  return {bytes.begin(), bytes.end()};
}

json flash_from_image(const std::filesystem::path& image, const char* id = "0x001330EF") {
  return {{"flash", {{"id", id}, {"image", image.string()}}}};
}

std::size_t count_of(const std::string& text, const std::string& line) {
  std::size_t count = 0;
  for (auto pos = text.find(line); pos != std::string::npos; pos = text.find(line, pos + line.size())) ++count;
  return count;
}

std::string dump_path(std::uint32_t bus) { return "/tmp/dmp_spi_flash_bus" + std::to_string(bus) + "_dev0_fun0"; }

TEST(FlashImage, DumpThenProgramRewritesTheSameBytes) {
  TempDir dir;
  const auto original = pattern_bytes(kFlashSize, 1);
  testing::write_bytes(dir / "original.bin", original);
  const std::string dumped = dump_path(201);
  json service = dock_controller(flash_from_image(dir / "original.bin"));
  service["bus"] = 201;
  RegctlBench source(service);
  ASSERT_TRUE(dump_9182_spi_flash(source.connect, source.dev()));
  const auto bytes = testing::read_bytes(dumped);
  std::filesystem::remove(dumped);
  ASSERT_EQ(bytes.size(), kFlashSize);
  EXPECT_TRUE(bytes == original);

  RegctlBench target(dock_controller({{"flash", {{"fill", "0x5A"}}}}));
  ASSERT_TRUE(program_9182_spi_flash_image(target.connect, target.dev(), bytes, FlashSectors().set(), {}));
  EXPECT_TRUE(contents(target) == original);
  EXPECT_EQ(target.flash().violations().total(), 0u);
  EXPECT_EQ(target.controller().spi().started_while_running(), 0u);
  EXPECT_EQ(target.flash().counts().erases, kFlashSectorCount);
  EXPECT_EQ(target.dev()->dev_aux_v, 99u);
}

TEST(FlashImage, AProgramWithoutEraseOnlyClearsBitsAndTheFlashNotices) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x0F"}}}}));
  ASSERT_TRUE(program_4Bytes_9182_spi_flash(bench.connect, bench.dev(), 0x100, 0xF0F0FFFF));
  EXPECT_EQ(bench.flash().byte_at(0x100), 0x0F);
  EXPECT_EQ(bench.flash().byte_at(0x103), 0x00);
  EXPECT_EQ(bench.flash().violations().program_over_unerased, 4u);
}

TEST(FlashImage, EraseAndProgramWithoutWriteEnableAreIgnoredAndCounted) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  const std::uint32_t data = 0;
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiSectorErase4KB, 0x1000}), kIOReturnSuccess);
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiProgram4Bytes, 0x1000, &data}), kIOReturnSuccess);
  EXPECT_EQ(bench.flash().byte_at(0x1000), 0x00);
  EXPECT_EQ(bench.flash().violations().without_write_enable, 2u);
  EXPECT_EQ(bench.flash().counts().erases, 0u);
}

TEST(FlashImage, ACommandWhileTheFlashIsBusyIsIgnoredAndCounted) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  ASSERT_TRUE(write_enable_9182_spi_flash(bench.connect, bench.dev()));
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiSectorErase4KB, 0}), kIOReturnSuccess);
  // No status wait: the next write enable reaches a busy flash.
  ASSERT_EQ(spi_transaction(bench.connect, bench.dev(), {kSpiWriteEnable}), kIOReturnSuccess);
  EXPECT_EQ(bench.flash().violations().while_busy, 1u);
}

TEST(FlashImage, ACommandStartedBeforeThePreviousCompletesIsIgnoredAndCounted) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  // Two commands with no completion poll between them.
  window_write(bench.connect, bench.dev(), M9182_REG_SPI_CMD, kSpiWriteEnable);
  window_write(bench.connect, bench.dev(), M9182_REG_SPI_CMD, kSpiSectorErase4KB);
  EXPECT_EQ(bench.controller().spi().started_while_running(), 1u);
  EXPECT_EQ(bench.flash().counts().erases, 0u);
}

TEST(FlashImage, AnUnknownManufacturerIsRefusedBeforeAnyErase) {
  RegctlBench bench(dock_controller({{"flash", {{"id", "0x00134020"}, {"fill", "0x00"}}}}));
  EXPECT_FALSE(program_9182_spi_flash_image(bench.connect, bench.dev(), pattern_bytes(64, 2), FlashSectors().set(), {}));
  EXPECT_EQ(bench.console().err(), "Flash type not support, unknown ven id = 20h\n");
  EXPECT_EQ(bench.flash().counts().erases, 0u);
  EXPECT_EQ(bench.flash().byte_at(0), 0x00);
}

TEST(FlashImage, AnUnknownDeviceOfAKnownManufacturerIsRefusedBeforeAnyErase) {
  RegctlBench bench(dock_controller({{"flash", {{"id", "0x001440EF"}}}}));
  EXPECT_FALSE(program_9182_spi_flash_image(bench.connect, bench.dev(), {}, FlashSectors().set(), {}));
  EXPECT_EQ(bench.console().err(), "Flash type not support, unknown dev id = 1440h\n");
  EXPECT_EQ(bench.flash().counts().erases, 0u);
}

TEST(FlashImage, TheProgramWidthFollowsTheIdentityWord) {
  EXPECT_EQ(whole_flash_program_width(0x001330EF), 4u);
  EXPECT_EQ(whole_flash_program_width(0x0001441F), 4u);
  EXPECT_EQ(whole_flash_program_width(0x00000010), 1u);
  EXPECT_EQ(whole_flash_program_width(0), 0u);
}

TEST(FlashImage, AProtectingFlashIsProgrammedBecauseEachSectorIsUnprotectedFirst) {
  const auto image = pattern_bytes(2 * kFlashSectorSize, 3);
  RegctlBench bench(dock_controller({{"flash", {{"id", "0x0001441F"}, {"protected", true}, {"fill", "0x00"}}}}));
  ASSERT_TRUE(program_9182_spi_flash_image(bench.connect, bench.dev(), image, FlashSectors().set(), {}));
  auto expected = image;
  expected.resize(kFlashSize, 0xFF);
  EXPECT_TRUE(contents(bench) == expected);
  EXPECT_EQ(bench.flash().counts().erases, kFlashSectorCount);
  EXPECT_EQ(bench.flash().violations().total(), 0u);
}

TEST(FlashImage, AShortImageLeavesTheRestErasedWithOneWarningPerSector) {
  // Three sectors and six bytes: the last word has two bytes of the image.
  const auto image = pattern_bytes(3 * kFlashSectorSize + 6, 4);
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  std::vector<std::uint32_t> announced;
  ASSERT_TRUE(program_9182_spi_flash_image(bench.connect, bench.dev(), image, FlashSectors().set(),
                                           [&](std::uint32_t sector) { announced.push_back(sector); }));
  auto expected = image;
  expected.resize(kFlashSize, 0xFF);
  EXPECT_TRUE(contents(bench) == expected);
  const std::string err = bench.console().err();
  EXPECT_EQ(count_of(err, "WARN: program_whole_9182_spi_flash, read dmp_spi_flash EOF, total_bytes=3008\n"),
            kFlashSectorCount - 3);
  EXPECT_EQ(announced.size(), kFlashSectorCount);
  EXPECT_EQ(announced.back(), kFlashSectorCount - 1);
}

TEST(FlashImage, OnlyTheChosenSectorsAreErasedAndProgrammed) {
  const auto image = pattern_bytes(kFlashSize, 5);
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  FlashSectors chosen;
  chosen.set(7);
  ASSERT_TRUE(program_9182_spi_flash_image(bench.connect, bench.dev(), image, chosen, {}));
  const auto flash = contents(bench);
  EXPECT_TRUE(std::equal(flash.begin() + 7 * kFlashSectorSize, flash.begin() + 8 * kFlashSectorSize,
                         image.begin() + 7 * kFlashSectorSize));
  const auto untouched = [](std::uint8_t b) { return b == 0x00; };
  EXPECT_TRUE(std::all_of(flash.begin(), flash.begin() + 7 * kFlashSectorSize, untouched));
  EXPECT_TRUE(std::all_of(flash.begin() + 8 * kFlashSectorSize, flash.end(), untouched));
  EXPECT_EQ(bench.flash().counts().erases, 1u);
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
  EXPECT_EQ(bench.console().err(), "spi_flash_dump Err2\n");
}

TEST(FlashEntryPoints, DumpWritesTheWholeFlashToItsPrivateFileAndClosesTheConnection) {
  TempDir dir;
  const auto original = pattern_bytes(kFlashSize, 6);
  testing::write_bytes(dir / "image.bin", original);
  json service = dock_controller(flash_from_image(dir / "image.bin"));
  service["bus"] = 202;
  RegctlBench bench(service);
  const std::string path = dump_path(202);
  ASSERT_EQ(spi_flash_dump(bench.dev()), kIOReturnSuccess);
  struct stat info {};
  ASSERT_EQ(::lstat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_TRUE(testing::read_bytes(path) == original);
  std::filesystem::remove(path);
  EXPECT_EQ(bench.driver().open_connections(), 1u);  // the bench's own
  // The words at 0 to 0x138 are echoed on standard error.
  EXPECT_EQ(count_of(bench.console().err(), "]\n"), 0x138u / 4 + 1);
}

TEST(FlashEntryPoints, ADumpNeverWritesThroughASymbolicLink) {
  TempDir dir;
  const std::string path = dump_path(203);
  testing::write_bytes(dir / "victim", {1, 2, 3});
  std::filesystem::remove(path);
  std::filesystem::create_symlink(dir / "victim", path);
  json service = dock_controller();
  service["bus"] = 203;
  RegctlBench bench(service);
  EXPECT_EQ(spi_flash_dump(bench.dev()), kIOReturnError);
  std::filesystem::remove(path);
  EXPECT_TRUE(testing::read_bytes(dir / "victim") == (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(bench.console().err(), "cannot write " + path + ": it is a symbolic link\ndump_9182_spi_flash Err\nspi_flash_dump Err1\n");
}

TEST(FlashEntryPoints, ADumpNeverWritesIntoAFileWithAnotherNameOrIntoAFifo) {
  TempDir dir;
  const std::string path = dump_path(206);
  std::filesystem::remove(path);
  testing::write_bytes(dir / "victim", {1, 2, 3});
  std::filesystem::create_hard_link(dir / "victim", path);
  json service = dock_controller();
  service["bus"] = 206;
  RegctlBench bench(service);
  EXPECT_EQ(spi_flash_dump(bench.dev()), kIOReturnError);
  std::filesystem::remove(path);
  EXPECT_TRUE(testing::read_bytes(dir / "victim") == (std::vector<std::uint8_t>{1, 2, 3}));
  // A FIFO would hold an ordinary open until someone reads it.
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EQ(spi_flash_dump(bench.dev()), kIOReturnError);
  std::filesystem::remove(path);
  EXPECT_EQ(bench.console().err(), "cannot write " + path + ": it has other names (hard links)\ndump_9182_spi_flash Err\n"
                                   "spi_flash_dump Err1\ncannot write " + path + ": it is not a plain file\n"
                                   "dump_9182_spi_flash Err\nspi_flash_dump Err1\n");
}

TEST(FlashEntryPoints, ADumpMakesAnOldFileOfOursPrivate) {
  const std::string path = dump_path(204);
  testing::write_bytes(path, {9});
  ::chmod(path.c_str(), 0644);
  json service = dock_controller();
  service["bus"] = 204;
  RegctlBench bench(service);
  ASSERT_EQ(spi_flash_dump(bench.dev()), kIOReturnSuccess);
  struct stat info {};
  ASSERT_EQ(::lstat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_size, static_cast<off_t>(kFlashSize));
  std::filesystem::remove(path);
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
    const std::string err = bench.console().err();
    EXPECT_EQ(err.rfind("spi_flash_type = 1330EFh\nDoing program_whole_9182_spi_flash, sec_cnt = 00000000, pgs=0\n", 0), 0u);
    EXPECT_NE(err.find("Doing program_whole_9182_spi_flash, sec_cnt = 0000007F, pgs=99\n"), std::string::npos);
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
    auto expected = std::vector<std::uint8_t>(kFlashSize, 0x00);
    std::fill_n(expected.begin() + kBiosImageBase, kBiosImageSectors * kFlashSectorSize, 0xFF);
    std::copy(bios.begin(), bios.end(), expected.begin() + kBiosImageBase);
    EXPECT_TRUE(contents(bench) == expected);
    std::string lines;
    for (int sector = 2; sector < 7; ++sector)
      lines += "WARN: program_BIOS_9182_spi_flash, read m9182bios.bin EOF, total_bytes_from_bios=2710\n";
    EXPECT_EQ(bench.console().out(), lines + "program_BIOS_9182_spi_flash done\n");
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
