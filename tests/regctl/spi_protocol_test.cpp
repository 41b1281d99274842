// The SPI flash protocol as the controller sees it and the index adjustment by device ID;
// then the selector wrappers and the tool functions.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <optional>
#include <utility>

#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using namespace testing;
using Log = std::vector<std::string>;
using Operation = std::function<bool(RegctlBench&)>;
using Scalars = std::vector<std::uint64_t>;

std::string w(unsigned offset, std::uint32_t value) { return format_access(true, offset, value); }
std::string r(unsigned offset, std::uint32_t value) { return format_access(false, offset, value); }

Log operator+(Log a, const Log& b) { return a.insert(a.end(), b.begin(), b.end()), a; }

// One transaction on a controller whose transactions run for one poll: address,
// data, command, the poll that sees it running and the one that sees it done, fetch.
Log transaction(std::uint32_t word, std::uint32_t address, std::optional<std::uint32_t> data = {},
                std::optional<std::uint32_t> fetched = {}) {
  Log log{w(0xA8, 4), w(0xAC, address)};
  if (data) log = log + Log{w(0xA8, 8), w(0xAC, *data)};
  log = log + Log{w(0xA8, 0), w(0xAC, word), r(0xAC, word & ~0x10u), r(0xAC, word & ~0x30u)};
  return fetched ? log + Log{w(0xA8, 8), r(0xAC, *fetched)} : log;
}

Log status_read(std::uint32_t status) { return transaction(kSpiReadStatus, 0, {}, status); }
// An erase or program that stays busy for two status reads: nothing between the reads.
Log busy_wait() { return status_read(3) + status_read(3) + status_read(0); }

// The words of the version text from base + 4 on, the flash holding "V1.0.20-R06XYZ" at base + 7.
Log version_reads(std::uint32_t base) {
  Log log;
  for (const auto& [at, word] : {std::pair{4u, 0x56FFFFFFu}, {8u, 0x2E302E31u}, {12u, 0x522D3032u}, {16u, 0x59583630u}})
    log = log + transaction(kSpiRead4Bytes, base + at, {}, word);
  return log;
}

// An operation on the bench's connection and record with these further arguments.
template <typename Function, typename... Args>
Operation call(Function function, Args... args) {
  return [=](RegctlBench& b) { return function(b.connect, b.dev(), args...); };
}

TEST(SpiProtocol, EachOperationMakesExactlyItsRegisterAccesses) {
  const Log we = transaction(kSpiWriteEnable, 0) + status_read(kFlashStatusWriteEnabled);
  const auto version = [](RegctlBench& b) {
    return get_M9182_BIOS_version(b.connect, b.dev()) &&
           std::string(b.dev()->bios_ver, 16) == std::string("V1.0.20-R06\0\0\0\0\0", 16);
  };
  const auto text_at = [](const char* did, const char* at) {
    return json{{"did", did}, {"flash", {{"bytes_at", {{{"address", at}, {"text", "V1.0.20-R06XYZ"}}}}}}};
  };
  std::uint32_t id = 0;
  const std::vector<std::tuple<const char*, json, Operation, Log>> cases{
      {"identity", {}, call(get_VID_DID_9182_spi_flash, &id), transaction(kSpiReadIdentity, 0, {}, 0x1330EF)},
      {"write enable", {}, call(write_enable_9182_spi_flash), we},
      {"program 4 bytes", {}, call(program_4Bytes_9182_spi_flash, 0x1234u, 0x44332211u),
       we + transaction(kSpiProgram4Bytes, 0x1234, 0x44332211) + busy_wait()},
      {"program 1 byte: the low byte", {}, call(program_1Byte_9182_spi_flash, 0x20u, 0x1234u),
       we + transaction(kSpiProgram1Byte, 0x20, 0x34) + busy_wait()},
      {"erase unprotects first", {}, call(sector_erase_4KB_9182_spi_flash, 0x3000u),
       we + transaction(kSpiSetSoftwareProtect, 0x3000) + we + transaction(kSpiSectorErase4KB, 0x3000) + busy_wait()},
      {"erase with identity 0", {{"flash", {{"id", 0}}}}, call(sector_erase_4KB_9182_spi_flash, 0u),
       we + transaction(kSpiSectorErase4KB, 0) + busy_wait()},
      {"read software protect fetches nothing and reports on standard output", {},
       [](RegctlBench& b) {
         return read_software_protect_9182_spi_flash(b.connect, b.dev(), 0x7000) &&
                b.console().out() == "read_software_protect_9182_spi_flash done, addr = 00007000\n";
       },
       transaction(kSpiReadSoftwareProtect, 0x7000)},
      {"version of a 0x0612", text_at("0x0612", "0x10007"), version, version_reads(0x10000)},
      {"version of a 0x9182", text_at("0x9182", "0x20007"), version, version_reads(0x20000)},
  };
  for (const auto& [name, changes, operation, expected] : cases) {
    SCOPED_TRACE(name);
    RegctlBench bench(dock_controller(changes.is_null() ? json::object() : changes));
    bench.start_log();
    EXPECT_TRUE(operation(bench));
    EXPECT_EQ(std::pair(bench.log(), bench.driver().delayed(0)), std::pair(expected, std::uint64_t{0}));
  }
}

// Each failing operation prints its own line and every caller its own after it; a value it
// fails to read is 0. The waits end at their bounds with a line, adding no driver call.
TEST(SpiProtocol, FailuresPrintTheLineOfEveryLevelAndWaitsEndAtTheirBounds) {
  constexpr std::uint32_t kUnread = 0xAAAA;
  std::uint32_t value = kUnread;
  const json version = {{"bytes_at", {{{"address", "0x10007"}, {"text", "V1.0.20-R06"}}}}};
  const Operation erase = call(sector_erase_4KB_9182_spi_flash, 0u);
  // Name, changes, operation, the value it leaves, driver calls it makes (0: not counted), lines.
  const std::vector<std::tuple<const char*, json, Operation, std::uint32_t, std::uint64_t, std::string>> cases{
      {"a status that cannot be read", {{"faults", {{"fail_selector", 7}}}},
       [&](RegctlBench& b) { return read_9182_spi_flash_status(b.connect, b.dev(), &value) == kIOReturnSuccess; }, 0,
       0, "read_9182_spi_flash_status Err\n"},
      {"no chip: the latch reads clear", {{"flash", nullptr}}, erase, kUnread, 0,
       "write_enable_9182_spi_flash fail, flash_status=0\nwrite_enable_9182_spi_flash Err\n"
       "sector_erase_4KB_9182_spi_flash Err\n"},
      // The write enable's command is calls 1-6 of the erase, its status read begins at call 7.
      {"status read fails", {{"flash", {{"id", 0}}}, {"faults", fail_call_after_setup(7)}}, erase, kUnread, 0,
       "read_9182_spi_flash_status Err\nwrite_enable_9182_spi_flash fail, flash_status=0\n"
       "write_enable_9182_spi_flash Err\nsector_erase_4KB_9182_spi_flash Err\n"},
      // Sound behaviour: a version with a word missing (call 8 fetches the first) is not read.
      {"a version word fails", {{"flash", version}, {"faults", fail_call_after_setup(8)}},
       [](RegctlBench& b) {
         return get_M9182_BIOS_version(b.connect, b.dev()) ||
                std::string(b.dev()->bios_ver, 11) != std::string("\0" "1.0.20-R06", 11);
       },
       kUnread, 0, "get_9182_spi_flash_4Bytes Err\n"},
      // Address and command, then the polls.
      {"a command that never completes", {{"faults", {{"stuck_command", true}}}},
       call(get_VID_DID_9182_spi_flash, &value), 0, 4 + kSpiCompletionPolls,
       "SPI command 009F2330 did not complete after 1000 polls\nget_VID_DID_9182_spi_flash Err\n"},
      // Write enable (14 calls), the program (8), then status reads of 8 calls each.
      {"a flash that stays busy", {{"faults", {{"stuck_busy", true}}}}, call(program_4Bytes_9182_spi_flash, 0u, 0u),
       kUnread, 14 + 8 + 8 * kFlashBusyPolls,
       "SPI flash still busy after 1000000 status reads, flash_status=3\nprogram_4Bytes_9182_spi_flash Err\n"},
  };
  for (const auto& [name, changes, operation, left, calls, lines] : cases) {
    SCOPED_TRACE(name);
    RegctlBench bench(dock_controller(changes));
    bench.console().clear();
    value = kUnread;
    const std::uint64_t before = bench.driver().call_count(0);
    EXPECT_FALSE(operation(bench));
    EXPECT_EQ(std::tuple(bench.console().err(), value, calls == 0 ? 0 : bench.driver().call_count(0) - before,
                         bench.driver().delayed(0)), std::tuple(lines, left, calls, 0));
  }
}

// Only three device IDs get the access bits, and only on the index; the bench's simulated
// controllers take the index only as their device needs it.
TEST(IndexAdjustment, OnlyThreeDeviceIdsGetTheAccessBitsOnTheIndex) {
  for (const auto& [did, adjusted] : {std::pair{"0x9123", true}, {"0x9125", true}, {"0x9128", true},
                                      {"0x9182", false}, {"0x0612", false}}) {
    SCOPED_TRACE(did);
    RegctlBench bench(dock_controller({{"did", did}}));
    bench.start_log();
    ASSERT_EQ(__My_BAR5_ioWrite32(bench.connect, bench.dev(), 0xA8, 4), kIOReturnSuccess);
    ASSERT_EQ(__My_BAR5_ioWrite32(bench.connect, bench.dev(), 0xAC, 4), kIOReturnSuccess);
    EXPECT_EQ(__My_BAR5_ioWrite32(bench.connect, nullptr, 0xA8, 4), kIOReturnError);
    EXPECT_EQ(bench.log(), (Log{adjusted ? "W A8=6000004" : "W A8=4", "W AC=4"}));
    EXPECT_EQ(bench.dev()->spi_flash_id, 0x001330EFu);  // the bench read it through the window
    EXPECT_EQ(bench.controller().unreached_accesses(), 0u);
  }
}

// The calls recorded so far: selector, input scalars, bytes of the input structure.
using Calls = std::vector<std::tuple<std::uint32_t, Scalars, std::size_t>>;
Calls calls_of(RegctlBench& bench) {
  Calls calls;
  for (const auto& call : bench.driver().calls()) calls.emplace_back(call.selector, call.in, call.struct_in);
  return calls;
}

// Every wrapper's selector, input scalars (32-bit values zero-extended) and structures,
// with the outputs stored whatever the status. A refused open sends nothing; a failing
// selector 0 leaves the connection open for the caller, and closing sends no selector 1.
TEST(Connection, WrappersPassTheirArgumentsAndAFailedOpenIsLeftToTheCaller) {
  RegctlBench bench;
  bench.driver().record_calls(true);
  std::uint32_t v[8]{};
  EXPECT_EQ(My_get_bus_dev_fun_num(bench.connect, &v[0], &v[1], &v[2]), kIOReturnSuccess);
  My_get_vid_did(bench.connect, &v[3], &v[4]);
  My_get_sub_vid_did(bench.connect, &v[5], &v[6]);
  My_BAR5_ioWrite32(bench.connect, nullptr, 0x40, 0xDEADBEEF);
  My_BAR5_ioRead32(bench.connect, 0x40, &v[7]);
  EXPECT_EQ(std::vector(v, v + 8), (std::vector<std::uint32_t>{134, 0, 0, 0x1B21, 0x612, 0x1AB6, 0x1060, 0xDEADBEEF}));
  My_IODelay(bench.connect, 250);
  gui_VantrelRAID_dbg(bench.connect, nullptr, 0xBEEF, 0xFFFFFFFF);
  MyScalarIScalarO(bench.connect, 0xFFFFFFFF, 1, &v[0]);
  MyStop(bench.connect, 2, 3, &v[0]);
  MyScalarIStructureIExample(bench.connect);
  MyScalarIStructureOExample(bench.connect);
  MyStructureIStructureOExample(bench.connect);
  const SampleRecord in{1, 2};
  SampleRecord out{};
  std::uint64_t size = sizeof out;
  gui_VantrelRAID_gui_cmd(bench.connect, sizeof in, &in, &size, &out);
  EXPECT_EQ(size + out.field2, 16u + 2);
  EXPECT_EQ(MyCloseUserClient(bench.connect), kIOReturnSuccess);
  EXPECT_EQ(calls_of(bench), (Calls{{9, {}, 0}, {10, {}, 0}, {11, {}, 0}, {8, {0x40, 0xDEADBEEF}, 0}, {7, {0x40}, 0},
                                    {12, {250}, 0}, {15, {0xBEEF, 0xFFFFFFFF}, 0}, {4, {0xFFFFFFFF, 1}, 0},
                                    {6, {2, 3}, 0}, {2, {15}, 16}, {3, {154, 863}, 0}, {5, {}, 16}, {16, {}, 16},
                                    {1, {}, 0}}));
  EXPECT_EQ(bench.driver().delayed(0), 250u);
  RegctlBench failing(dock_controller({{"faults", {{"fail_selector", {0, 9, 10}}}}}));
  std::uint32_t u[5] = {0xAAAA, 0xBBBB, 1, 2, 3};
  EXPECT_EQ(My_get_vid_did(failing.connect, &u[0], &u[1]), kIOReturnError);
  EXPECT_EQ(My_get_bus_dev_fun_num(failing.connect, &u[2], &u[3], &u[4]), kIOReturnError);
  EXPECT_EQ(std::vector(u, u + 5), (std::vector<std::uint32_t>(5, 0)));
  EXPECT_EQ(failing.driver().open_connections(), 1u);  // the failed open of the bench
  failing.driver().record_calls(true);
  MyUserClientCloseExample(std::exchange(failing.connect, 0));
  EXPECT_EQ(failing.driver().open_connections(), 0u);
  EXPECT_TRUE(failing.driver().calls().empty());
  RegctlBench refused(dock_controller({{"open_status", "0xE00002C5"}}));
  EXPECT_EQ(refused.connect + refused.driver().call_count(0), 0u);
  MyLaunchConsoleApp();  // the launcher opens the sibling application
  EXPECT_EQ(refused.machine().launcher().opened(), std::vector<std::string>{"/Applications/KESTRELVIEW"});
}

// The selector-4 exchange by the property list and the starting state. Only a token with
// "Vantrel" from its ninth character on counts; one longer than the 99 characters of the
// buffer is read in pieces. A missing list is reported on standard output.
TEST(PortInjector, EachStateGetsItsCommands) {
  TempDir dir;
  const std::string named = "<key>CFBundleIdentifier</key>\n\t<string>VantrelRegCtl.AHCIPortInjector</string>\n";
  const std::vector<std::tuple<std::uint32_t, std::string, Calls, std::uint32_t>> cases{
      {0, named, {{4, {0, 0}, 0}, {4, {1, 0}, 0}}, 1},
      {1, named, {{4, {0, 0}, 0}, {4, {0, 1}, 0}}, 3},
      {2, named, {{4, {0, 0}, 0}, {4, {1, 0}, 0}, {4, {0, 1}, 0}}, 3},
      {13, named, {{4, {0, 0}, 0}}, 13},
      {7, named, {{4, {0, 0}, 0}}, 7},
      {0, "<string>com.vantrel.driver</string> Vantrel xxVantrel <key>Vantrel</key>\n", {}, 0},
      {0, std::string(99, 'x') + "<string>VantrelRegCtl</string>\n", {{4, {0, 0}, 0}, {4, {1, 0}, 0}}, 1},
      {0, std::string(5000, 'y') + "\n", {}, 0},
      {0, "", {}, 0},  // no list at all
  };
  for (const auto& [state, plist, calls, after] : cases) {
    SCOPED_TRACE(std::to_string(state) + " " + plist.substr(0, 40));
    const auto list = dir / (plist.empty() ? "absent.plist" : "Info.plist");
    if (!plist.empty()) std::ofstream(list) << plist;
    RegctlBench bench(json{{"driver", {{"services", {dock_controller({{"injector_state", state}})}}}},
                           {"bundle", {{"port_injector_plist", list.string()}}}}.dump());
    bench.driver().record_calls(true);
    MyScalarIScalarOExample(bench.connect);
    EXPECT_EQ(calls_of(bench), calls);
    EXPECT_EQ(bench.driver().injector_state(0), after);
    EXPECT_EQ(bench.console().out(), plist.empty() ? "NULL resultNumber 15\n" : "");
  }
}

TEST(WindowDump, PrintsEveryIndexWhoseValueIsNeither0Nor1UpToTheLast) {
  RegctlBench bench(dock_controller({{"window", {{"0x1000", "0x12345678"}, {"0x1004", 1}, {"0xFFFFC", "0xCAFE"}}}}));
  bench.driver().record_calls(true);
  EXPECT_TRUE(dump_BAR5_A8(bench.connect, bench.dev()));
  // The bench's last flash command and identity, the GPIO defaults, the window's own values but 1.
  EXPECT_EQ(bench.console().out(),
            "(Addr,Val)=(0000,009f2300)\n(Addr,Val)=(0008,001330ef)\n(Addr,Val)=(0224,0000003f)\n"
            "(Addr,Val)=(0230,0000003f)\n(Addr,Val)=(1000,12345678)\n(Addr,Val)=(ffffc,0000cafe)\ndump_BAR5_A8 done\n");
  EXPECT_EQ(bench.driver().calls().size(), 2u * 0x40000);
}

}  // namespace
}  // namespace berth
