// The SPI flash protocol as the controller sees it: the exact register accesses of
// each operation, the version text, the device-ID adjustment of the index register,
// and the bounded waits.
#include <gtest/gtest.h>

#include <optional>

#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"
#include "lib/regctl/spi_flash.h"
#include "lib/regctl/window_access.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using testing::dock_controller;
using testing::json;
using testing::RegctlBench;
using Log = std::vector<std::string>;

std::string w(unsigned offset, std::uint32_t value) { return testing::format_access(true, offset, value); }
std::string r(unsigned offset, std::uint32_t value) { return testing::format_access(false, offset, value); }

// One transaction on a controller whose transactions run for one poll: address,
// data, command, the poll that sees it running and the one that sees it done, fetch.
Log transaction(std::uint32_t word, std::uint32_t address, std::optional<std::uint32_t> data = {},
                std::optional<std::uint32_t> fetched = {}) {
  Log log{w(0xA8, 4), w(0xAC, address)};
  if (data) log.insert(log.end(), {w(0xA8, 8), w(0xAC, *data)});
  log.insert(log.end(), {w(0xA8, 0), w(0xAC, word), r(0xAC, word & ~0x10u), r(0xAC, word & ~0x30u)});
  if (fetched) log.insert(log.end(), {w(0xA8, 8), r(0xAC, *fetched)});
  return log;
}

Log operator+(Log a, const Log& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Log status_read(std::uint32_t status) { return transaction(kSpiReadStatus, 0, {}, status); }
Log write_enable() { return transaction(kSpiWriteEnable, 0) + status_read(kFlashStatusWriteEnabled); }
// An erase or program that stays busy for two status reads.
Log busy_wait() { return status_read(3) + status_read(3) + status_read(0); }

TEST(SpiProtocol, ReadIdentityIsAddressCommandPollAndFetch) {
  RegctlBench bench;
  bench.start_log();
  std::uint32_t id = 0;
  ASSERT_TRUE(get_VID_DID_9182_spi_flash(bench.connect, bench.dev(), &id));
  EXPECT_EQ(id, 0x001330EFu);
  EXPECT_EQ(bench.log(), (Log{"W A8=4", "W AC=0", "W A8=0", "W AC=9F2330", "R AC=9F2320", "R AC=9F2300", "W A8=8",
                              "R AC=1330EF"}));
}

TEST(SpiProtocol, WriteEnableSendsItsCommandThenChecksTheLatch) {
  RegctlBench bench;
  bench.start_log();
  ASSERT_TRUE(write_enable_9182_spi_flash(bench.connect, bench.dev()));
  EXPECT_EQ(bench.log(), write_enable());
}

TEST(SpiProtocol, ProgramFourBytesWaitsOutTheBusyFlashWithDriverDelays) {
  RegctlBench bench;
  bench.start_log();
  ASSERT_TRUE(program_4Bytes_9182_spi_flash(bench.connect, bench.dev(), 0x1234, 0x44332211));
  EXPECT_EQ(bench.log(), write_enable() + transaction(kSpiProgram4Bytes, 0x1234, 0x44332211) + busy_wait());
  EXPECT_EQ(bench.driver().delayed(0), 2u * kFlashBusyPollDelay);
  const auto bytes = bench.flash().contents();
  EXPECT_EQ((std::vector<std::uint8_t>(bytes.begin() + 0x1234, bytes.begin() + 0x1238)),
            (std::vector<std::uint8_t>{0x11, 0x22, 0x33, 0x44}));
}

TEST(SpiProtocol, ProgramOneByteSendsOnlyTheLowByte) {
  RegctlBench bench;
  bench.start_log();
  ASSERT_TRUE(program_1Byte_9182_spi_flash(bench.connect, bench.dev(), 0x20, 0x1234));
  EXPECT_EQ(bench.log(), write_enable() + transaction(kSpiProgram1Byte, 0x20, 0x34) + busy_wait());
  EXPECT_EQ(bench.flash().byte_at(0x20), 0x34);
  EXPECT_EQ(bench.flash().byte_at(0x21), 0xFF);
}

TEST(SpiProtocol, EraseOfAProtectingFlashTypeUnprotectsTheSectorFirst) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  bench.start_log();
  ASSERT_TRUE(sector_erase_4KB_9182_spi_flash(bench.connect, bench.dev(), 0x3000));
  EXPECT_EQ(bench.log(), write_enable() + transaction(kSpiSetSoftwareProtect, 0x3000) + write_enable() +
                             transaction(kSpiSectorErase4KB, 0x3000) + busy_wait());
  EXPECT_EQ(bench.flash().byte_at(0x3000), 0xFF);
  EXPECT_EQ(bench.flash().byte_at(0x3FFF), 0xFF);
  EXPECT_EQ(bench.flash().byte_at(0x2FFF), 0x00);
  EXPECT_EQ(bench.flash().byte_at(0x4000), 0x00);
}

TEST(SpiProtocol, EraseWithIdentityZeroSendsNoSoftwareProtect) {
  RegctlBench bench(dock_controller({{"flash", {{"id", 0}}}}));
  bench.start_log();
  ASSERT_TRUE(sector_erase_4KB_9182_spi_flash(bench.connect, bench.dev(), 0));
  EXPECT_EQ(bench.log(), write_enable() + transaction(kSpiSectorErase4KB, 0) + busy_wait());
}

TEST(SpiProtocol, ReadSoftwareProtectFetchesNothingAndReportsOnStandardOutput) {
  RegctlBench bench;
  bench.start_log();
  ASSERT_TRUE(read_software_protect_9182_spi_flash(bench.connect, bench.dev(), 0x7000));
  EXPECT_EQ(bench.log(), transaction(kSpiReadSoftwareProtect, 0x7000));
  EXPECT_EQ(bench.console().out(), "read_software_protect_9182_spi_flash done, addr = 00007000\n");
}

TEST(SpiProtocol, VersionOfA0612ControllerIsReadFrom0x10004On) {
  RegctlBench bench(dock_controller(
      {{"flash", {{"bytes_at", {{{"address", "0x10007"}, {"text", "V1.0.20-R06"}}, {{"address", "0x10012"}, {"text", "XYZ"}}}}}}}));
  bench.start_log();
  ASSERT_TRUE(get_M9182_BIOS_version(bench.connect, bench.dev()));
  EXPECT_EQ(std::string(bench.dev()->bios_ver, 16), std::string("V1.0.20-R06\0\0\0\0\0", 16));
  Log addresses;
  const Log log = bench.log();
  for (std::size_t i = 0; i + 1 < log.size(); ++i)
    if (log[i] == "W A8=4") addresses.push_back(log[i + 1]);
  EXPECT_EQ(addresses, (Log{"W AC=10004", "W AC=10008", "W AC=1000C", "W AC=10010"}));
}

TEST(SpiProtocol, VersionOfA9182ControllerIsReadFrom0x20004On) {
  RegctlBench bench(dock_controller({{"did", "0x9182"},
                                     {"flash", {{"bytes_at", {{{"address", "0x20007"}, {"text", "R2.00.01-A1"}}}}}}}));
  ASSERT_TRUE(get_M9182_BIOS_version(bench.connect, bench.dev()));
  EXPECT_STREQ(bench.dev()->bios_ver, "R2.00.01-A1");
}

TEST(SpiProtocol, VersionReadFailsWhenAnyWordCannotBeRead) {
  const json flash = {{"bytes_at", {{{"address", "0x10007"}, {"text", "V1.0.20-R06"}}}}};
  const std::uint64_t setup_calls = RegctlBench(dock_controller({{"flash", flash}})).driver().call_count(0);
  // The eighth call of the version read fetches the first word.
  RegctlBench bench(dock_controller({{"flash", flash}, {"faults", {{"fail_call", setup_calls + 8}}}}));
  EXPECT_FALSE(get_M9182_BIOS_version(bench.connect, bench.dev()));
  EXPECT_EQ(bench.dev()->bios_ver[0], '\0');
  EXPECT_EQ(std::string(bench.dev()->bios_ver + 1, 10), "1.0.20-R06");
  EXPECT_EQ(bench.console().err(), "get_9182_spi_flash_4Bytes Err\n");
}

TEST(SpiProtocol, Status0xE00002BCAndZeroWhenTheStatusCannotBeRead) {
  RegctlBench bench(dock_controller({{"faults", {{"fail_selector", 7}}}}));
  bench.console().clear();
  std::uint32_t status = 0xAAAA;
  EXPECT_EQ(read_9182_spi_flash_status(bench.connect, bench.dev(), &status), kIOReturnError);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(read_9182_spi_flash_status(bench.connect, bench.dev(), nullptr), kIOReturnError);
  EXPECT_EQ(bench.console().err(), "read_9182_spi_flash_status Err\nread_9182_spi_flash_status Err\n");
}

TEST(SpiProtocol, WriteEnableFailsWhenTheLatchStaysClear) {
  RegctlBench bench(dock_controller({{"flash", nullptr}}));  // no chip answers
  EXPECT_FALSE(write_enable_9182_spi_flash(bench.connect, bench.dev()));
  EXPECT_EQ(bench.console().err(), "write_enable_9182_spi_flash fail, flash_status=0\nwrite_enable_9182_spi_flash Err\n");
}

TEST(SpiProtocol, AFailureInsideAnOperationPrintsEveryLevelsLine) {
  const std::uint64_t setup_calls = RegctlBench(dock_controller({{"flash", {{"id", 0}}}})).driver().call_count(0);
  // Erase: the write enable's command is calls 1-6, its status read begins at call 7.
  RegctlBench failing(dock_controller({{"flash", {{"id", 0}}}, {"faults", {{"fail_call", setup_calls + 7}}}}));
  EXPECT_FALSE(sector_erase_4KB_9182_spi_flash(failing.connect, failing.dev(), 0));
  EXPECT_EQ(failing.console().err(),
            "read_9182_spi_flash_status Err\nwrite_enable_9182_spi_flash Err\nsector_erase_4KB_9182_spi_flash Err\n");
}

TEST(SpiProtocol, ACommandThatNeverCompletesFailsAfterTheBoundedPoll) {
  RegctlBench bench(dock_controller({{"faults", {{"stuck_command", true}}}}));
  bench.console().clear();
  bench.start_log();
  std::uint32_t id = 0xAAAA;
  EXPECT_FALSE(get_VID_DID_9182_spi_flash(bench.connect, bench.dev(), &id));
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(bench.log().size(), 4 + kSpiCompletionPolls);
  EXPECT_EQ(bench.console().err(), "SPI command 009F2330 did not complete after 1000 polls\nget_VID_DID_9182_spi_flash Err\n");
}

TEST(SpiProtocol, AFlashThatStaysBusyFailsTheProgramAfterTheBoundedWait) {
  RegctlBench bench(dock_controller({{"faults", {{"stuck_busy", true}}}}));
  const std::uint64_t before = bench.driver().call_count(0);
  EXPECT_FALSE(program_4Bytes_9182_spi_flash(bench.connect, bench.dev(), 0, 0));
  EXPECT_EQ(bench.console().err(),
            "SPI flash still busy after 30000 status reads, flash_status=3\nprogram_4Bytes_9182_spi_flash Err\n");
  // Write enable, the program, then status reads (8 calls) each followed by a delay.
  EXPECT_EQ(bench.driver().call_count(0) - before, 14u + 8u + 9u * kFlashBusyPolls);
}

TEST(IndexAdjustment, ControllersThatNeedItGetTheAccessBitsOnIndexWritesOnly) {
  RegctlBench bench(dock_controller({{"did", "0x9128"}}));
  bench.start_log();
  ASSERT_EQ(__My_BAR5_ioWrite32(bench.connect, bench.dev(), 0xA8, 4), kIOReturnSuccess);
  ASSERT_EQ(__My_BAR5_ioWrite32(bench.connect, bench.dev(), 0xAC, 4), kIOReturnSuccess);
  EXPECT_EQ(bench.log(), (Log{"W A8=6000004", "W AC=4"}));
  // Through the adjusted write the window works; without it the controller ignores it.
  std::uint32_t id = 0;
  EXPECT_TRUE(get_VID_DID_9182_spi_flash(bench.connect, bench.dev(), &id));
  EXPECT_EQ(id, 0x001330EFu);
  std::uint32_t value = 0;
  My_BAR5_ioWrite32(bench.connect, bench.dev(), M9182_BAR5_INDEX, M9182_REG_SPI_DATA);
  My_BAR5_ioRead32(bench.connect, M9182_BAR5_DATA, &value);
  EXPECT_EQ(value, 0xFFFFFFFFu);
}

TEST(IndexAdjustment, OtherDeviceIdsPassTheIndexUnchanged) {
  for (const char* did : {"0x9182", "0x0612"}) {
    RegctlBench bench(dock_controller({{"did", did}}));
    bench.start_log();
    __My_BAR5_ioWrite32(bench.connect, bench.dev(), 0xA8, 4);
    EXPECT_EQ(bench.log(), (Log{"W A8=4"})) << did;
  }
}

TEST(IndexAdjustment, ANullRecordWritesNothing) {
  RegctlBench bench;
  bench.start_log();
  EXPECT_EQ(__My_BAR5_ioWrite32(bench.connect, nullptr, 0xA8, 4), kIOReturnError);
  EXPECT_TRUE(bench.log().empty());
}

}  // namespace
}  // namespace berth
