// The scan driver, the walker and the diagnostics shared by every pass: walk order,
// registry failures (a scan never stops half-way for an entry, only for a failed
// matching), the clipping of diagnostics lines to the terminal width, and the
// terminal asked for its width once per scan, not once for every entry walked.
#include "lib/discovery/diagnostics.h"
#include "lib/discovery/registry_walker.h"
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

// A Thunderbolt device with a small tree below it: walk order is recorded by mode 2.
constexpr const char* kTree = R"({"registry": {"roots": [
  {"name": "TB", "class": "IOPCIDevice", "props": [
     ["vendor-id", {"data": "86800000"}], ["device-id", {"data": "47150000"}]],
   "children": [
     {"name": "A", "class": "X", "children": [
        {"name": "A1", "class": "X"}, {"name": "A2", "class": "X", "children": [{"name": "A2a", "class": "X"}]}]},
     {"name": "B", "class": "X", "fail": ["children"], "children": [{"name": "B1", "class": "X"}]},
     {"name": "C", "class": "X"}]}]}})";

TEST(Walker, RecursiveWalkIsPreOrderAndSkipsSubtreesWhoseChildrenFailAndAPlainWalkVisitsOneEntry) {
  auto sim = SimFixture::from_json(kTree);
  scan_docks();
  ASSERT_EQ(gIOPCIDevCnt, 1u);
  sIOPCIDev& tb = gIOPCIDevList[0];
  // Document order: TB A A1 A2 A2a B B1 C; B's children cannot be had, so B is skipped.
  const auto& r = sim.machine().registry();
  const std::vector<io_object_t> expected{r.handle_of(0), r.handle_of(1), r.handle_of(2), r.handle_of(3),
                                          r.handle_of(4), r.handle_of(7)};
  EXPECT_EQ(std::vector<io_object_t>(tb.services_under_TB, tb.services_under_TB + tb.services_under_TB_cnt), expected);
  EXPECT_NE(sim.console().err().find("ioreg: error: can't obtain children.\nioreg_scan: error: Mark1.\n"),
            std::string::npos);
  tb.services_under_TB_cnt = 0;
  main_ioreg(tb.service, kWalkThunderboltSubtree, 0, 0);
  EXPECT_EQ(tb.services_under_TB_cnt, 1u);
  EXPECT_EQ(tb.services_under_TB[0], tb.service);
}

TEST(Walker, ScanGivesBackEveryIteratorTableAndUnkeptHandle) {
  auto sim = SimFixture::from_file("dock-type10.json");
  scan_docks();
  const auto& counts = sim.machine().registry().counts();
  EXPECT_EQ(counts.iterators_held(), 0u);
  EXPECT_EQ(counts.tables_held(), 0u);
  EXPECT_EQ(counts.bad_releases, 0u);
  EXPECT_EQ(counts.unheld_uses, 0u);
  // Only the handles the three tables keep are still held.
  EXPECT_EQ(counts.entries_held(), gIOPCIDevCnt + gCandidateM91xxDevCnt + gCandidateFL1100DevCnt);
  // The next scan gives the previous scan's handles back before it takes new ones.
  scan_docks();
  EXPECT_EQ(counts.entries_held(), gIOPCIDevCnt + gCandidateM91xxDevCnt + gCandidateFL1100DevCnt);
  EXPECT_EQ(counts.bad_releases, 0u);
}

class Println : public ::testing::Test {
 protected:
  void TearDown() override { printbufsize = printbufleft = printbufclip = 0; }
};

TEST_F(Println, ClipsToOneColumnLessThanTheTerminalAndMarksTheCutOrWithoutOneWritesItAll) {
  auto sim = SimFixture::from_json("{}");
  println("%s", std::string(100, 'y').c_str());
  EXPECT_EQ(sim.console().out(), std::string(100, 'y') + "\n");
  sim.console().clear();
  set_diagnostics_width(80);
  println("%s", std::string(100, 'x').c_str());
  EXPECT_EQ(sim.console().out(), std::string(79, 'x') + "$\n");
  sim.console().clear();
  println("short\nline");
  EXPECT_EQ(sim.console().out(), "short line\n");
}

TEST_F(Println, TakesTheWidthFromStandardOutputThenStandardInput) {
  auto sim = SimFixture::from_json(R"({"registry": {"roots": [{"name": "P", "class": "IOPCIDevice",
      "props": [["pcidebug", {"data": "00"}]]}]}})");
  sim.console().attach_terminal(Stream::in, 20);
  scan_docks();
  EXPECT_EQ(printbufsize, 20u);
  // 19 characters fit in 20 columns; 27 do not.
  EXPECT_EQ(sim.console().out(), "showitem_io_pci_dev$\nshowitem_M9182 Err2\n");
}

// Failures of the registry.

TEST(ScanFailures, NullDockCountChangesNothing) {
  auto sim = SimFixture::from_file("dock-type10.json");
  gIOPCIDevCnt = 7;
  EXPECT_EQ(scan_for_devices(nullptr), kIOReturnError);
  EXPECT_EQ(sim.console().err(), "scan_for_devices !dev_cnt\n");
  EXPECT_EQ(gIOPCIDevCnt, 7u);
}

TEST(ScanFailures, FailedMatchingEndsTheScanWithItsStatus) {
  for (int failing = 0; failing < 3; ++failing) {
    json status = json::array({0, 0, 0});
    status[failing] = "0xE00002C7";
    json doc = json::parse(sim::MachineFile::load(machines_dir() / "dock-type10.json").doc.dump());
    doc["registry"]["matching_status"] = status;
    auto sim = SimFixture::from_json(doc.dump());
    std::uint32_t docks = 5;
    EXPECT_EQ(scan_for_devices(&docks), kIOReturnError);
    EXPECT_EQ(docks, 0u);
    EXPECT_EQ(sim.console().err(), "IOServiceGetMatchingServices returned 0xe00002c7\n\n");
    // Earlier passes keep what they wrote.
    EXPECT_EQ(gIOPCIDevCnt, failing >= 1 ? 9u : 0u);
    EXPECT_EQ(gCandidateM91xxDevCnt, failing >= 2 ? 9u : 0u);
    EXPECT_EQ(gCandidateFL1100DevCnt, 0u);
    EXPECT_EQ(sim.machine().registry().counts().iterators_held(), 0u);
  }
}

TEST(ScanFailures, EntryWhoseNameFailsIsSkippedButItsChildrenAreWalked) {
  json child = entry("child", "IOPCIDevice", json::array({prop_data("vendor-id", le32_hex(0x1234))}));
  json parent = pci_device("parent", {0x1B73, 0x1100});
  parent["fail"] = json::array({"name"});
  parent["children"] = json::array({child});
  auto sim = SimFixture::from_json(machine(json::array({parent})));
  scan_docks();
  ASSERT_EQ(gIOPCIDevCnt, 1u);
  EXPECT_EQ(gIOPCIDevList[0].VID, 0x1234u);
  EXPECT_EQ(sim.console().err(),
            "ioreg: error: can't obtain name.\nshow_io_pci_devices: error: Mark2.\n"
            "ioreg: error: can't obtain name.\nshow_M9182: error: Mark2.\n"
            "ioreg: error: can't obtain name.\n");
  EXPECT_EQ(sim.machine().registry().counts().entries_held(), 3u) << "unrecorded entries are given back";
}

TEST(ScanFailures, EntryWhosePropertiesFailIsSkipped) {
  json bad = pci_device("bad", {0x1B73, 0x1100});
  bad["fail"] = json::array({"properties"});
  auto sim = SimFixture::from_json(machine(json::array({bad, pci_device("good", {0x10DE, 1})})));
  scan_docks();
  ASSERT_EQ(gIOPCIDevCnt, 1u);
  EXPECT_EQ(gIOPCIDevList[0].VID, 0x10DEu);
  EXPECT_EQ(sim.console().err(),
            "ioreg: error: can't obtain properties.\n"
            "ioreg: error: can't obtain properties.\n"
            "ioreg: error: can't obtain properties.\n");
}

TEST(ScanFailures, EmptyMachineScansToNothing) {
  auto sim = SimFixture::from_json("{}");
  EXPECT_EQ(scan_docks(), 0u);
  EXPECT_EQ(gIOPCIDevCnt + gCandidateM91xxDevCnt + gCandidateFL1100DevCnt, 0u);
}

class CountingTerminal final : public ConsolePort {
 public:
  void write(Stream, std::string_view) override {}
  std::optional<std::uint32_t> terminal_columns(Stream) override {
    ++asked;
    return 80;
  }
  std::size_t asked = 0;
};

TEST(ScanCost, TheTerminalIsAskedForItsWidthOncePerScan) {
  json roots = json::array();
  for (std::uint32_t i = 0; i < 200; ++i) roots.push_back(pci_device("dev", {0x1000, i}));
  auto sim = SimFixture::from_json(machine(roots));
  CountingTerminal terminal;
  Services ports = services();
  ports.console = &terminal;
  const ScopedServices installed(ports);
  for (const std::size_t scans : {1u, 2u}) {
    scan_docks();
    EXPECT_EQ(terminal.asked, scans);
  }
}

}  // namespace
}  // namespace berth
