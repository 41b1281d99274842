// The SPI flash protocol as the controller sees it: the exact register accesses of
// each operation, the version text, the failure lines, the bounded waits, the
// device-ID adjustment of the index register, and the steps out of turn that the
// simulated controller catches.
#include <gtest/gtest.h>

#include <functional>
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
// An erase or program that stays busy for two status reads: nothing between the reads.
Log busy_wait() { return status_read(3) + status_read(3) + status_read(0); }

using Operation = std::function<bool(io_connect_t, sDevice*)>;

TEST(SpiProtocol, EachOperationMakesExactlyItsRegisterAccesses) {
  const Log we = write_enable();
  const std::vector<std::tuple<const char*, json, Operation, Log>> cases{
      {"identity", {},
       [](auto c, auto d) {
         std::uint32_t id = 0;
         return get_VID_DID_9182_spi_flash(c, d, &id) && id == 0x1330EF;
       },
       transaction(kSpiReadIdentity, 0, {}, 0x1330EF)},
      {"write enable", {}, write_enable_9182_spi_flash, we},
      {"program 4 bytes", {}, [](auto c, auto d) { return program_4Bytes_9182_spi_flash(c, d, 0x1234, 0x44332211); },
       we + transaction(kSpiProgram4Bytes, 0x1234, 0x44332211) + busy_wait()},
      {"program 1 byte: the low byte", {},
       [](auto c, auto d) { return program_1Byte_9182_spi_flash(c, d, 0x20, 0x1234); },
       we + transaction(kSpiProgram1Byte, 0x20, 0x34) + busy_wait()},
      {"erase unprotects first", {}, [](auto c, auto d) { return sector_erase_4KB_9182_spi_flash(c, d, 0x3000); },
       we + transaction(kSpiSetSoftwareProtect, 0x3000) + we + transaction(kSpiSectorErase4KB, 0x3000) + busy_wait()},
      {"erase with identity 0", {{"id", 0}}, [](auto c, auto d) { return sector_erase_4KB_9182_spi_flash(c, d, 0); },
       we + transaction(kSpiSectorErase4KB, 0) + busy_wait()},
      {"read software protect fetches nothing", {},
       [](auto c, auto d) { return read_software_protect_9182_spi_flash(c, d, 0x7000); },
       transaction(kSpiReadSoftwareProtect, 0x7000)},
  };
  for (const auto& [name, flash, operation, expected] : cases) {
    SCOPED_TRACE(name);
    RegctlBench bench(dock_controller({{"flash", flash.is_null() ? json::object() : flash}}));
    bench.start_log();
    EXPECT_TRUE(operation(bench.connect, bench.dev()));
    EXPECT_EQ(bench.log(), expected);
    EXPECT_EQ(bench.driver().delayed(0), 0u);
  }
}

TEST(SpiProtocol, ReadSoftwareProtectReportsOnStandardOutput) {
  RegctlBench bench;
  ASSERT_TRUE(read_software_protect_9182_spi_flash(bench.connect, bench.dev(), 0x7000));
  EXPECT_EQ(bench.console().out(), "read_software_protect_9182_spi_flash done, addr = 00007000\n");
}

TEST(SpiProtocol, TheVersionWordsFollowTheDeviceId) {
  const std::vector<std::tuple<const char*, const char*, std::uint32_t>> cases{
      {"0x0612", "0x10007", 0x10004}, {"0x9182", "0x20007", 0x20004}};
  for (const auto& [did, at, first] : cases) {
    SCOPED_TRACE(did);
    const json text = {{"address", at}, {"text", "V1.0.20-R06XYZ"}};
    RegctlBench bench(dock_controller({{"did", did}, {"flash", {{"bytes_at", {text}}}}}));
    bench.start_log();
    ASSERT_TRUE(get_M9182_BIOS_version(bench.connect, bench.dev()));
    EXPECT_EQ(std::string(bench.dev()->bios_ver, 16), std::string("V1.0.20-R06\0\0\0\0\0", 16));
    Log addresses;
    const Log log = bench.log();
    for (std::size_t i = 0; i + 1 < log.size(); ++i)
      if (log[i] == "W A8=4") addresses.push_back(log[i + 1]);
    EXPECT_EQ(addresses, (Log{w(0xAC, first), w(0xAC, first + 4), w(0xAC, first + 8), w(0xAC, first + 12)}));
  }
}

// Sound behaviour: a version with a word missing is not reported as read.
TEST(SpiProtocol, TheVersionReadFailsWhenAnyWordCannotBeRead) {
  // The eighth call of the version read fetches the first word.
  RegctlBench bench(dock_controller({{"flash", {{"bytes_at", {{{"address", "0x10007"}, {"text", "V1.0.20-R06"}}}}}},
                                     {"faults", testing::fail_call_after_setup(8)}}));
  EXPECT_FALSE(get_M9182_BIOS_version(bench.connect, bench.dev()));
  EXPECT_EQ(std::string(bench.dev()->bios_ver, 11), std::string("\0" "1.0.20-R06", 11));
  EXPECT_EQ(bench.console().err(), "get_9182_spi_flash_4Bytes Err\n");
}

TEST(SpiProtocol, AStatusThatCannotBeReadIsZeroAndTheFailingCode) {
  RegctlBench bench(dock_controller({{"faults", {{"fail_selector", 7}}}}));
  bench.console().clear();
  std::uint32_t status = 0xAAAA;
  EXPECT_EQ(read_9182_spi_flash_status(bench.connect, bench.dev(), &status), kIOReturnError);
  EXPECT_EQ(status, 0u);
  EXPECT_EQ(bench.console().err(), "read_9182_spi_flash_status Err\n");
}

TEST(SpiProtocol, FailureLinesOfEveryLevel) {
  const std::vector<std::tuple<const char*, json, std::string>> cases{
      // No chip: the latch reads clear.
      {"latch clear", dock_controller({{"flash", nullptr}}),
       "write_enable_9182_spi_flash fail, flash_status=0\nwrite_enable_9182_spi_flash Err\n"
       "sector_erase_4KB_9182_spi_flash Err\n"},
      // Erase with identity 0: the write enable's command is calls 1-6, its status read begins at call 7.
      {"status read fails", dock_controller({{"flash", {{"id", 0}}}, {"faults", testing::fail_call_after_setup(7)}}),
       "read_9182_spi_flash_status Err\nwrite_enable_9182_spi_flash fail, flash_status=0\n"
       "write_enable_9182_spi_flash Err\nsector_erase_4KB_9182_spi_flash Err\n"},
      {"write enable command fails",
       dock_controller({{"flash", {{"id", 0}}}, {"faults", testing::fail_call_after_setup(2)}}),
       "write_enable_9182_spi_flash Err\nsector_erase_4KB_9182_spi_flash Err\n"},
  };
  for (const auto& [name, service, lines] : cases) {
    SCOPED_TRACE(name);
    RegctlBench bench(service);
    bench.console().clear();
    EXPECT_FALSE(sector_erase_4KB_9182_spi_flash(bench.connect, bench.dev(), 0));
    EXPECT_EQ(bench.console().err(), lines);
  }
}

TEST(SpiProtocol, ACommandThatNeverCompletesFailsAfterTheBoundedPoll) {
  RegctlBench bench(dock_controller({{"faults", {{"stuck_command", true}}}}));
  bench.console().clear();
  bench.start_log();
  std::uint32_t id = 0xAAAA;
  EXPECT_FALSE(get_VID_DID_9182_spi_flash(bench.connect, bench.dev(), &id));
  EXPECT_EQ(id, 0u);
  EXPECT_EQ(bench.log().size(), 4 + kSpiCompletionPolls);
  EXPECT_EQ(bench.console().err(),
            "SPI command 009F2330 did not complete after 1000 polls\nget_VID_DID_9182_spi_flash Err\n");
}

TEST(SpiProtocol, AFlashThatStaysBusyFailsAfterAMillionStatusReadsAndNothingElse) {
  RegctlBench bench(dock_controller({{"faults", {{"stuck_busy", true}}}}));
  const std::uint64_t before = bench.driver().call_count(0);
  EXPECT_FALSE(program_4Bytes_9182_spi_flash(bench.connect, bench.dev(), 0, 0));
  EXPECT_EQ(bench.console().err(),
            "SPI flash still busy after 1000000 status reads, flash_status=3\nprogram_4Bytes_9182_spi_flash Err\n");
  // Write enable (14 calls), the program (8), then status reads of 8 calls each.
  EXPECT_EQ(bench.driver().call_count(0) - before, 14u + 8u + 8u * kFlashBusyPolls);
  EXPECT_EQ(bench.driver().delayed(0), 0u);
}

// Only three device IDs get the access bits, and only on the index. Each controller
// takes the index as it needs it: without the bits where they are needed, or with a
// top byte where none belongs, the window reaches nothing and the access is counted.
TEST(IndexAdjustment, TheWindowIsReachedOnlyWithTheIndexEachControllerTakes) {
  using Case = std::tuple<const char*, bool, std::uint32_t>;  // device ID, adjusted, an index it does not take
  for (const auto& [did, adjusted, untaken] : {Case{"0x9123", true, 0x08}, Case{"0x9125", true, 0x08},
                                               Case{"0x9128", true, 0x08}, Case{"0x9182", false, 0x01000008},
                                               Case{"0x0612", false, 0x06000008}}) {
    SCOPED_TRACE(did);
    RegctlBench bench(dock_controller({{"did", did}}));
    bench.start_log();
    ASSERT_EQ(__My_BAR5_ioWrite32(bench.connect, bench.dev(), 0xA8, 4), kIOReturnSuccess);
    ASSERT_EQ(__My_BAR5_ioWrite32(bench.connect, bench.dev(), 0xAC, 4), kIOReturnSuccess);
    EXPECT_EQ(__My_BAR5_ioWrite32(bench.connect, nullptr, 0xA8, 4), kIOReturnError);
    EXPECT_EQ(bench.log(), (Log{adjusted ? "W A8=6000004" : "W A8=4", "W AC=4"}));
    EXPECT_EQ(bench.dev()->spi_flash_id, 0x001330EFu);  // the bench read it through the window
    EXPECT_EQ(bench.controller().unreached_accesses(), 0u);
    std::uint32_t value = 0;
    My_BAR5_ioWrite32(bench.connect, bench.dev(), M9182_BAR5_INDEX, untaken);
    My_BAR5_ioRead32(bench.connect, M9182_BAR5_DATA, &value);
    EXPECT_EQ(value, 0xFFFFFFFFu);
    EXPECT_EQ(bench.controller().unreached_accesses(), 1u);
  }
}

// A client that skips the completion poll gets the data register as it was, and
// every step out of turn is counted.
TEST(SimSpiEngine, StepsOutOfTurnAreCountedAndAnEarlyFetchIsStale) {
  RegctlBench bench(dock_controller({{"flash", {{"bytes_at", {{{"address", "0x100"}, {"data", "11223344"}}}}}}}));
  const auto& errors = bench.controller().spi().errors();
  sDevice* dev = bench.dev();
  window_write(bench.connect, dev, M9182_REG_SPI_ADDR, 0x100);
  window_write(bench.connect, dev, M9182_REG_SPI_CMD, kSpiRead4Bytes);
  std::uint32_t value = 0;
  window_read(bench.connect, dev, M9182_REG_SPI_DATA, &value);
  EXPECT_EQ(value, 0x001330EFu);  // the identity the bench read last
  EXPECT_EQ(errors.data_read_early, 1u);
  window_write(bench.connect, dev, M9182_REG_SPI_ADDR, 0x200);
  window_write(bench.connect, dev, M9182_REG_SPI_CMD, kSpiRead4Bytes);
  EXPECT_EQ(errors.written_while_running, 1u);
  EXPECT_EQ(errors.started_while_running, 1u);
  for (int poll = 0; poll < 2; ++poll) window_read(bench.connect, dev, M9182_REG_SPI_CMD, &value);
  window_read(bench.connect, dev, M9182_REG_SPI_DATA, &value);
  EXPECT_EQ(value, 0x44332211u);
  EXPECT_EQ(errors.total(), 3u);
}

}  // namespace
}  // namespace berth
