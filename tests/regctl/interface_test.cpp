// The selector wrappers and the tool functions on a connection: what reaches the
// driver for each, opening and closing, the port-injector check with its selector-4
// exchange, the sibling-application launcher, the window dump, the trace and the
// errors of the machine file's driver section.
#include <gtest/gtest.h>

#include <fstream>

#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"
#include "platform/sim/sim_driver_json.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using testing::dock_controller;
using testing::json;
using testing::RegctlBench;
using testing::TempDir;
using Scalars = std::vector<std::uint64_t>;

// The calls made from now on, as selector and input scalars.
std::vector<std::pair<std::uint32_t, Scalars>> calls_of(RegctlBench& bench) {
  std::vector<std::pair<std::uint32_t, Scalars>> calls;
  for (const auto& call : bench.driver().calls()) calls.emplace_back(call.selector, call.in);
  bench.driver().clear_calls();
  return calls;
}

TEST(SelectorWrappers, PassTheirArgumentsAsScalarsAndReturnTheOutputs) {
  RegctlBench bench;
  bench.driver().record_calls(true);
  std::uint32_t a = 0, b = 0, c = 0;
  ASSERT_EQ(My_get_bus_dev_fun_num(bench.connect, &a, &b, &c), kIOReturnSuccess);
  EXPECT_EQ((std::vector<std::uint32_t>{a, b, c}), (std::vector<std::uint32_t>{134, 0, 0}));
  ASSERT_EQ(My_get_vid_did(bench.connect, &a, &b), kIOReturnSuccess);
  EXPECT_EQ((std::vector<std::uint32_t>{a, b}), (std::vector<std::uint32_t>{0x1B21, 0x0612}));
  ASSERT_EQ(My_get_sub_vid_did(bench.connect, &a, &b), kIOReturnSuccess);
  EXPECT_EQ((std::vector<std::uint32_t>{a, b}), (std::vector<std::uint32_t>{0x1AB6, 0x1060}));
  ASSERT_EQ(My_BAR5_ioWrite32(bench.connect, nullptr, 0x40, 0xDEADBEEF), kIOReturnSuccess);
  ASSERT_EQ(My_BAR5_ioRead32(bench.connect, 0x40, &a), kIOReturnSuccess);
  EXPECT_EQ(a, 0xDEADBEEFu);
  ASSERT_EQ(My_IODelay(bench.connect, 250), kIOReturnSuccess);
  ASSERT_EQ(gui_VantrelRAID_dbg(bench.connect, nullptr, 0xBEEF, 0xFFFFFFFF), kIOReturnSuccess);
  ASSERT_EQ(MyScalarIScalarO(bench.connect, 0xFFFFFFFF, 1, &a), kIOReturnSuccess);
  ASSERT_EQ(MyStop(bench.connect, 2, 3, &a), kIOReturnSuccess);
  ASSERT_EQ(MyCloseUserClient(bench.connect), kIOReturnSuccess);
  // 32-bit values are zero-extended into the 64-bit scalars.
  EXPECT_EQ(calls_of(bench), (std::vector<std::pair<std::uint32_t, Scalars>>{
                                 {9, {}}, {10, {}}, {11, {}}, {8, {0x40, 0xDEADBEEF}}, {7, {0x40}}, {12, {250}},
                                 {15, {0xBEEF, 0xFFFFFFFF}}, {4, {0xFFFFFFFF, 1}}, {6, {2, 3}}, {1, {}}}));
  EXPECT_EQ(bench.driver().delayed(0), 250u);
}

TEST(SelectorWrappers, StoreTheOutputsWhateverTheStatus) {
  RegctlBench bench(dock_controller({{"faults", {{"fail_selector", {9, 10}}}}}));
  std::uint32_t vid = 0xAAAA, did = 0xBBBB, bus = 1, dev = 2, fun = 3;
  EXPECT_EQ(My_get_vid_did(bench.connect, &vid, &did), kIOReturnError);
  EXPECT_EQ(My_get_bus_dev_fun_num(bench.connect, &bus, &dev, &fun), kIOReturnError);
  EXPECT_EQ((std::vector<std::uint32_t>{vid, did, bus, dev, fun}), (std::vector<std::uint32_t>(5, 0)));
}

TEST(Connection, AFailingOpenReturnsItsStatusAndSendsNothing) {
  RegctlBench bench(dock_controller({{"open_status", "0xE00002C5"}}));
  EXPECT_EQ(bench.connect, 0u);
  EXPECT_EQ(bench.driver().call_count(0), 0u);
}

TEST(Connection, AFailingSelector0LeavesTheConnectionOpenForTheCallerToClose) {
  RegctlBench bench(dock_controller({{"faults", {{"fail_selector", 0}}}}));
  io_connect_t connect = 0;
  EXPECT_EQ(MyUserClientOpenExample(bench.driver().service_handle(0), &connect), kIOReturnError);
  ASSERT_NE(connect, 0u);
  EXPECT_EQ(bench.driver().open_connections(), 2u);
  bench.driver().record_calls(true);
  MyUserClientCloseExample(connect);
  EXPECT_EQ(bench.driver().open_connections(), 1u);
  EXPECT_TRUE(bench.driver().calls().empty());  // closing sends no selector 1
}

// The selector-4 exchange after a property list naming Vantrel, by starting state.
class PortInjector : public ::testing::Test {
 protected:
  std::vector<std::pair<std::uint32_t, Scalars>> exchange(std::uint32_t state, const std::string& plist) {
    std::ofstream(dir_ / "Info.plist") << plist;
    json machine = json::parse(testing::driver_machine({dock_controller({{"injector_state", state}})}));
    machine["bundle"] = {{"port_injector_plist", (dir_ / "Info.plist").string()}};
    bench_.reset();  // benches install their ports in turn: the old one goes first
    bench_ = std::make_unique<RegctlBench>(machine.dump());
    bench_->driver().record_calls(true);
    MyScalarIScalarOExample(bench_->connect);
    return calls_of(*bench_);
  }
  using Calls = std::vector<std::pair<std::uint32_t, Scalars>>;
  static constexpr const char* kNamed =
      "<dict>\n\t<key>CFBundleIdentifier</key>\n\t<string>VantrelRegCtl.AHCIPortInjector</string>\n</dict>\n";
  TempDir dir_;
  std::unique_ptr<RegctlBench> bench_;
};

TEST_F(PortInjector, EachStateGetsItsCommands) {
  EXPECT_EQ(exchange(0, kNamed), (Calls{{4, {0, 0}}, {4, {1, 0}}}));
  EXPECT_EQ(bench_->driver().injector_state(0), 1u);
  EXPECT_EQ(exchange(1, kNamed), (Calls{{4, {0, 0}}, {4, {0, 1}}}));
  EXPECT_EQ(bench_->driver().injector_state(0), 3u);
  EXPECT_EQ(exchange(2, kNamed), (Calls{{4, {0, 0}}, {4, {1, 0}}, {4, {0, 1}}}));
  EXPECT_EQ(bench_->driver().injector_state(0), 3u);
  EXPECT_EQ(exchange(13, kNamed), (Calls{{4, {0, 0}}}));
  EXPECT_EQ(exchange(7, kNamed), (Calls{{4, {0, 0}}}));
}

TEST_F(PortInjector, AListWithoutVantrelFromTheNinthCharacterCallsNothing) {
  EXPECT_TRUE(exchange(0, "<string>com.vantrel.driver</string> Vantrel xxVantrel <key>Vantrel</key>\n").empty());
}

TEST_F(PortInjector, AMissingListIsReportedOnStandardOutput) {
  json machine = json::parse(testing::driver_machine({dock_controller()}));
  machine["bundle"] = {{"port_injector_plist", (dir_ / "absent.plist").string()}};
  RegctlBench bench(machine.dump());
  bench.driver().record_calls(true);
  MyScalarIScalarOExample(bench.connect);
  EXPECT_EQ(bench.console().out(), "NULL resultNumber 15\n");
  EXPECT_TRUE(bench.driver().calls().empty());
}

TEST_F(PortInjector, ATokenLongerThanTheBufferIsReadInPiecesWithoutOverflow) {
  // 99 characters fill the buffer; the rest of the token is the next piece.
  EXPECT_EQ(exchange(0, std::string(99, 'x') + "<string>VantrelRegCtl</string>\n"), (Calls{{4, {0, 0}}, {4, {1, 0}}}));
  EXPECT_TRUE(exchange(0, std::string(5000, 'y') + "\n").empty());
}

TEST(Launcher, OpensTheSiblingApplicationByItsPath) {
  RegctlBench bench;
  MyLaunchConsoleApp();
  EXPECT_EQ(bench.machine().launcher().opened(), std::vector<std::string>{"/Applications/KESTRELVIEW"});
}

TEST(WindowDump, PrintsEveryIndexWhoseValueIsNeither0Nor1UpToTheLast) {
  RegctlBench bench(dock_controller({{"window", {{"0x1000", "0x12345678"}, {"0x1004", 1}, {"0xFFFFC", "0xCAFE"}}}}));
  bench.driver().record_calls(true);
  EXPECT_TRUE(dump_BAR5_A8(bench.connect, bench.dev()));
  const std::string out = bench.console().out();
  EXPECT_NE(out.find("(Addr,Val)=(1000,12345678)\n"), std::string::npos);
  EXPECT_EQ(out.find("(Addr,Val)=(1004,"), std::string::npos);
  EXPECT_NE(out.find("(Addr,Val)=(ffffc,0000cafe)\ndump_BAR5_A8 done\n"), std::string::npos);
  EXPECT_EQ(out.find("(Addr,Val)=(2000,"), std::string::npos);
  EXPECT_EQ(bench.driver().calls().size(), 2u * 0x40000);
}

// The trace lines also show what the sample calls and the structure calls carry.
TEST(Trace, EveryCallIsOneLineWithSelectorScalarsStructuresAndStatus) {
  RegctlBench bench;
  bench.driver().set_trace(true);
  bench.console().clear();
  My_BAR5_ioWrite32(bench.connect, nullptr, 0xA8, 4);
  std::uint32_t vid = 0, did = 0;
  My_get_vid_did(bench.connect, &vid, &did);
  MyScalarIStructureIExample(bench.connect);
  MyScalarIStructureOExample(bench.connect);
  MyStructureIStructureOExample(bench.connect);
  const SampleRecord in{1, 2};
  SampleRecord out{};
  std::uint64_t size = sizeof out;
  gui_VantrelRAID_gui_cmd(bench.connect, sizeof in, &in, &size, &out);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(out.field2, 2u);
  My_BAR5_ioRead32(bench.connect, 0xFFFF, &vid);
  EXPECT_EQ(bench.console().err(),
            "trace sel=8 in=0xa8,0x4 out= status=0x00000000\n"
            "trace sel=10 in= out=0x1b21,0x612 status=0x00000000\n"
            "trace sel=2 in=0xf,[16] out= status=0x00000000\n"
            "trace sel=3 in=0x9a,0x35f out=[16] status=0x00000000\n"
            "trace sel=5 in=[16] out=[16] status=0x00000000\n"
            "trace sel=16 in=[16] out=[16] status=0x00000000\n"
            "trace sel=7 in=0xffff out=0x0 status=0x00000000\n");
}

// Every bad value of the "driver" section is reported at its place.
TEST(DriverSection, BadValuesAreReportedWithTheirPlace) {
  TempDir dir;
  testing::write_bytes(dir / "big.bin", std::vector<std::uint8_t>(0x80001, 0));
  const std::vector<std::pair<json, std::string>> cases{
      {{{"services", {dock_controller({{"did", "0x1FFFF"}})}}}, "/driver/services/0/did"},
      {{{"services", {dock_controller({{"flash", {{"image", "missing.bin"}}}})}}}, "/driver/services/0/flash/image"},
      {{{"services", {dock_controller({{"flash", {{"image", "big.bin"}}}})}}}, "/driver/services/0/flash/image"},
      {{{"services", {dock_controller({{"flash", {{"persist", true}}}})}}}, "/driver/services/0/flash/persist"},
      {{{"services", {dock_controller({{"flash", {{"bytes_at", {{{"address", "0x7FFFF"}, {"text", "ab"}}}}}}})}}},
       "/driver/services/0/flash/bytes_at/0"},
      {{{"services", {dock_controller({{"i2c", {{{"address", "0x80"}}}}})}}}, "/driver/services/0/i2c/0/address"},
      {{{"services", {dock_controller({{"faults", {{"fail_selector", {1, "x"}}}}})}}},
       "/driver/services/0/faults/fail_selector/1"},
      {{{"services", {dock_controller({{"window", {{"zz", 1}}}})}}}, "/driver/services/0/window/zz"},
      {{{"services", "none"}}, "/driver/services"},
  };
  for (const auto& [section, place] : cases) {
    try {
      sim::driver_from_json(section, "/driver", dir.path());
      ADD_FAILURE() << "accepted: " << section.dump();
    } catch (const sim::MachineFileError& error) {
      EXPECT_EQ(error.place(), place) << error.what();
    }
  }
}

}  // namespace
}  // namespace berth
