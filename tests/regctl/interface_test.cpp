// The selector wrappers and the tool functions on a connection: what reaches the
// driver for each, opening and closing, the port-injector check with its selector-4
// exchange, the sibling-application launcher, the window dump and the trace.
#include <gtest/gtest.h>

#include <fstream>

#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using testing::dock_controller;
using testing::json;
using testing::RegctlBench;
using testing::TempDir;
using Scalars = std::vector<std::uint64_t>;

// The calls recorded so far, as selector and input scalars.
std::vector<std::pair<std::uint32_t, Scalars>> calls_of(RegctlBench& bench) {
  std::vector<std::pair<std::uint32_t, Scalars>> calls;
  for (const auto& call : bench.driver().calls()) calls.emplace_back(call.selector, call.in);
  bench.driver().clear_calls();
  return calls;
}

// Every wrapper's selector, input scalars (32-bit values zero-extended) and
// structures, as the trace shows them one line per call, with the outputs stored.
TEST(SelectorWrappers, PassTheirArgumentsAndReturnTheOutputsOneTraceLineEach) {
  RegctlBench bench;
  bench.driver().set_trace(true);
  bench.console().clear();
  std::uint32_t a = 0, b = 0, c = 0;
  EXPECT_EQ(My_get_bus_dev_fun_num(bench.connect, &a, &b, &c), kIOReturnSuccess);
  EXPECT_EQ((std::vector<std::uint32_t>{a, b, c}), (std::vector<std::uint32_t>{134, 0, 0}));
  My_get_vid_did(bench.connect, &a, &b);
  My_get_sub_vid_did(bench.connect, &a, &b);
  EXPECT_EQ((std::vector<std::uint32_t>{a, b}), (std::vector<std::uint32_t>{0x1AB6, 0x1060}));
  My_BAR5_ioWrite32(bench.connect, nullptr, 0x40, 0xDEADBEEF);
  My_BAR5_ioRead32(bench.connect, 0x40, &a);
  EXPECT_EQ(a, 0xDEADBEEFu);
  My_IODelay(bench.connect, 250);
  gui_VantrelRAID_dbg(bench.connect, nullptr, 0xBEEF, 0xFFFFFFFF);
  MyScalarIScalarO(bench.connect, 0xFFFFFFFF, 1, &a);
  MyStop(bench.connect, 2, 3, &a);
  MyScalarIStructureIExample(bench.connect);
  MyScalarIStructureOExample(bench.connect);
  MyStructureIStructureOExample(bench.connect);
  const SampleRecord in{1, 2};
  SampleRecord out{};
  std::uint64_t size = sizeof out;
  gui_VantrelRAID_gui_cmd(bench.connect, sizeof in, &in, &size, &out);
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(out.field2, 2u);
  EXPECT_EQ(MyCloseUserClient(bench.connect), kIOReturnSuccess);
  EXPECT_EQ(bench.console().err(),
            "trace sel=9 in= out=0x86,0x0,0x0 status=0x00000000\n"
            "trace sel=10 in= out=0x1b21,0x612 status=0x00000000\n"
            "trace sel=11 in= out=0x1ab6,0x1060 status=0x00000000\n"
            "trace sel=8 in=0x40,0xdeadbeef out= status=0x00000000\n"
            "trace sel=7 in=0x40 out=0xdeadbeef status=0x00000000\n"
            "trace sel=12 in=0xfa out= status=0x00000000\n"
            "trace sel=15 in=0xbeef,0xffffffff out= status=0x00000000\n"
            "trace sel=4 in=0xffffffff,0x1 out=0x0 status=0x00000000\n"
            "trace sel=6 in=0x2,0x3 out=0x0 status=0x00000000\n"
            "trace sel=2 in=0xf,[16] out= status=0x00000000\n"
            "trace sel=3 in=0x9a,0x35f out=[16] status=0x00000000\n"
            "trace sel=5 in=[16] out=[16] status=0x00000000\n"
            "trace sel=16 in=[16] out=[16] status=0x00000000\n"
            "trace sel=1 in= out= status=0x00000000\n");
  EXPECT_EQ(bench.driver().delayed(0), 250u);
}

TEST(SelectorWrappers, StoreTheOutputsWhateverTheStatus) {
  RegctlBench bench(dock_controller({{"faults", {{"fail_selector", {9, 10}}}}}));
  std::uint32_t vid = 0xAAAA, did = 0xBBBB, bus = 1, dev = 2, fun = 3;
  EXPECT_EQ(My_get_vid_did(bench.connect, &vid, &did), kIOReturnError);
  EXPECT_EQ(My_get_bus_dev_fun_num(bench.connect, &bus, &dev, &fun), kIOReturnError);
  EXPECT_EQ((std::vector<std::uint32_t>{vid, did, bus, dev, fun}), (std::vector<std::uint32_t>(5, 0)));
}

TEST(Connection, AFailingOpenSendsNothingAndAFailingSelector0LeavesItOpenForTheCaller) {
  {
    RegctlBench refused(dock_controller({{"open_status", "0xE00002C5"}}));
    EXPECT_EQ(refused.connect, 0u);
    EXPECT_EQ(refused.driver().call_count(0), 0u);
  }
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

// The selector-4 exchange by the property list and the starting state. Only a token
// carrying "Vantrel" from its ninth character on counts; a token longer than the
// 99 characters of the buffer is read in pieces without overflow.
TEST(PortInjector, EachStateGetsItsCommands) {
  TempDir dir;
  using Calls = std::vector<std::pair<std::uint32_t, Scalars>>;
  const std::string named = "<key>CFBundleIdentifier</key>\n\t<string>VantrelRegCtl.AHCIPortInjector</string>\n";
  const std::vector<std::tuple<std::uint32_t, std::string, Calls, std::uint32_t>> cases{
      {0, named, {{4, {0, 0}}, {4, {1, 0}}}, 1},
      {1, named, {{4, {0, 0}}, {4, {0, 1}}}, 3},
      {2, named, {{4, {0, 0}}, {4, {1, 0}}, {4, {0, 1}}}, 3},
      {13, named, {{4, {0, 0}}}, 13},
      {7, named, {{4, {0, 0}}}, 7},
      {0, "<string>com.vantrel.driver</string> Vantrel xxVantrel <key>Vantrel</key>\n", {}, 0},
      {0, std::string(99, 'x') + "<string>VantrelRegCtl</string>\n", {{4, {0, 0}}, {4, {1, 0}}}, 1},
      {0, std::string(5000, 'y') + "\n", {}, 0},
  };
  for (const auto& [state, plist, calls, after] : cases) {
    SCOPED_TRACE(std::to_string(state) + " " + plist.substr(0, 40));
    std::ofstream(dir / "Info.plist") << plist;
    json machine = json::parse(testing::driver_machine({dock_controller({{"injector_state", state}})}));
    machine["bundle"] = {{"port_injector_plist", (dir / "Info.plist").string()}};
    RegctlBench bench(machine.dump());
    bench.driver().record_calls(true);
    MyScalarIScalarOExample(bench.connect);
    EXPECT_EQ(calls_of(bench), calls);
    EXPECT_EQ(bench.driver().injector_state(0), after);
    EXPECT_EQ(bench.console().out(), "");
  }
}

TEST(PortInjector, AMissingListIsReportedOnStandardOutput) {
  json machine = json::parse(testing::driver_machine({dock_controller()}));
  machine["bundle"] = {{"port_injector_plist", "/nonexistent/absent.plist"}};
  RegctlBench bench(machine.dump());
  bench.driver().record_calls(true);
  MyScalarIScalarOExample(bench.connect);
  EXPECT_EQ(bench.console().out(), "NULL resultNumber 15\n");
  EXPECT_TRUE(bench.driver().calls().empty());
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

}  // namespace
}  // namespace berth
