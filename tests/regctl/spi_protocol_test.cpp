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

using namespace testing;
using Log = std::vector<std::string>;
using Operation = std::function<bool(RegctlBench&)>;

std::string w(unsigned offset, std::uint32_t value) { return format_access(true, offset, value); }
std::string r(unsigned offset, std::uint32_t value) { return format_access(false, offset, value); }

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
// An erase or program that stays busy for two status reads: nothing between the reads.
Log busy_wait() { return status_read(3) + status_read(3) + status_read(0); }

TEST(SpiProtocol, EachOperationMakesExactlyItsRegisterAccesses) {
  const Log we = transaction(kSpiWriteEnable, 0) + status_read(kFlashStatusWriteEnabled);
  const std::vector<std::tuple<const char*, json, Operation, Log>> cases{
      {"identity", {},
       [](RegctlBench& b) {
         std::uint32_t id = 0;
         return get_VID_DID_9182_spi_flash(b.connect, b.dev(), &id) && id == 0x1330EF;
       },
       transaction(kSpiReadIdentity, 0, {}, 0x1330EF)},
      {"write enable", {}, [](RegctlBench& b) { return write_enable_9182_spi_flash(b.connect, b.dev()); }, we},
      {"program 4 bytes", {},
       [](RegctlBench& b) { return program_4Bytes_9182_spi_flash(b.connect, b.dev(), 0x1234, 0x44332211); },
       we + transaction(kSpiProgram4Bytes, 0x1234, 0x44332211) + busy_wait()},
      {"program 1 byte: the low byte", {},
       [](RegctlBench& b) { return program_1Byte_9182_spi_flash(b.connect, b.dev(), 0x20, 0x1234); },
       we + transaction(kSpiProgram1Byte, 0x20, 0x34) + busy_wait()},
      {"erase unprotects first", {},
       [](RegctlBench& b) { return sector_erase_4KB_9182_spi_flash(b.connect, b.dev(), 0x3000); },
       we + transaction(kSpiSetSoftwareProtect, 0x3000) + we + transaction(kSpiSectorErase4KB, 0x3000) + busy_wait()},
      {"erase with identity 0", {{"id", 0}},
       [](RegctlBench& b) { return sector_erase_4KB_9182_spi_flash(b.connect, b.dev(), 0); },
       we + transaction(kSpiSectorErase4KB, 0) + busy_wait()},
      {"read software protect fetches nothing and reports on standard output", {},
       [](RegctlBench& b) {
         return read_software_protect_9182_spi_flash(b.connect, b.dev(), 0x7000) &&
                b.console().out() == "read_software_protect_9182_spi_flash done, addr = 00007000\n";
       },
       transaction(kSpiReadSoftwareProtect, 0x7000)},
  };
  for (const auto& [name, flash, operation, expected] : cases) {
    SCOPED_TRACE(name);
    RegctlBench bench(dock_controller({{"flash", flash.is_null() ? json::object() : flash}}));
    bench.start_log();
    EXPECT_TRUE(operation(bench));
    EXPECT_EQ(bench.log(), expected);
    EXPECT_EQ(bench.driver().delayed(0), 0u);
  }
}

TEST(SpiProtocol, TheVersionWordsFollowTheDeviceId) {
  using Case = std::tuple<const char*, const char*, std::uint32_t>;  // device ID, text address, first word
  for (const auto& [did, at, first] : {Case{"0x0612", "0x10007", 0x10004}, Case{"0x9182", "0x20007", 0x20004}}) {
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

// Each failing operation prints its own line and every caller its own after it; the
// waits end after their bounds with a line saying so, and add no driver call.
TEST(SpiProtocol, FailuresPrintTheLineOfEveryLevelAndWaitsEndAtTheirBounds) {
  const json version = {{"bytes_at", {{{"address", "0x10007"}, {"text", "V1.0.20-R06"}}}}};
  const Operation erase = [](RegctlBench& b) { return sector_erase_4KB_9182_spi_flash(b.connect, b.dev(), 0); };
  const std::vector<std::tuple<const char*, json, Operation, std::string>> cases{
      {"a status that cannot be read is 0", {{"faults", {{"fail_selector", 7}}}},
       [](RegctlBench& b) {
         std::uint32_t status = 0xAAAA;
         return read_9182_spi_flash_status(b.connect, b.dev(), &status) == kIOReturnSuccess || status != 0;
       },
       "read_9182_spi_flash_status Err\n"},
      {"no chip: the latch reads clear", {{"flash", nullptr}}, erase,
       "write_enable_9182_spi_flash fail, flash_status=0\nwrite_enable_9182_spi_flash Err\n"
       "sector_erase_4KB_9182_spi_flash Err\n"},
      // The write enable's command is calls 1-6 of the erase, its status read begins at call 7.
      {"status read fails", {{"flash", {{"id", 0}}}, {"faults", fail_call_after_setup(7)}}, erase,
       "read_9182_spi_flash_status Err\nwrite_enable_9182_spi_flash fail, flash_status=0\n"
       "write_enable_9182_spi_flash Err\nsector_erase_4KB_9182_spi_flash Err\n"},
      {"write enable command fails", {{"flash", {{"id", 0}}}, {"faults", fail_call_after_setup(2)}}, erase,
       "write_enable_9182_spi_flash Err\nsector_erase_4KB_9182_spi_flash Err\n"},
      // Sound behaviour: a version with a word missing (call 8 fetches the first) is not read.
      {"a version word fails", {{"flash", version}, {"faults", fail_call_after_setup(8)}},
       [](RegctlBench& b) {
         return get_M9182_BIOS_version(b.connect, b.dev()) ||
                std::string(b.dev()->bios_ver, 11) != std::string("\0" "1.0.20-R06", 11);
       },
       "get_9182_spi_flash_4Bytes Err\n"},
      {"a command that never completes", {{"faults", {{"stuck_command", true}}}},
       [](RegctlBench& b) {
         std::uint32_t id = 0xAAAA;
         b.start_log();
         return get_VID_DID_9182_spi_flash(b.connect, b.dev(), &id) || id != 0 || b.log().size() != 4 + 1000;
       },
       "SPI command 009F2330 did not complete after 1000 polls\nget_VID_DID_9182_spi_flash Err\n"},
      // Write enable (14 calls), the program (8), then status reads of 8 calls each.
      {"a flash that stays busy", {{"faults", {{"stuck_busy", true}}}},
       [](RegctlBench& b) {
         const std::uint64_t before = b.driver().call_count(0);
         return program_4Bytes_9182_spi_flash(b.connect, b.dev(), 0, 0) ||
                b.driver().call_count(0) - before != 14u + 8u + 8u * kFlashBusyPolls || b.driver().delayed(0) != 0;
       },
       "SPI flash still busy after 1000000 status reads, flash_status=3\nprogram_4Bytes_9182_spi_flash Err\n"},
  };
  for (const auto& [name, changes, operation, lines] : cases) {
    SCOPED_TRACE(name);
    RegctlBench bench(dock_controller(changes));
    bench.console().clear();
    EXPECT_FALSE(operation(bench));
    EXPECT_EQ(bench.console().err(), lines);
  }
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
