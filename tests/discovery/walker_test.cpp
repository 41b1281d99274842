// The scan driver, the walker and the diagnostics every pass shares: walk order, registry
// failures (a scan stops half-way only for a failed matching), diagnostics lines clipped
// to the terminal, whose width is asked once per scan, not for every entry walked.
#include "lib/discovery/diagnostics.h"
#include "lib/discovery/registry_walker.h"
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

TEST(Walker, RecursiveWalkIsPreOrderAndSkipsSubtreesWhoseChildrenFailAndAPlainWalkVisitsOneEntry) {
  // Document order: TB A A1 A2 A2a B B1 C; B's children cannot be had, so B is skipped.
  auto sim = SimFixture::from_json(R"({"registry": {"roots": [{"name": "TB", "class": "IOPCIDevice",
    "props": [["vendor-id", {"data": "86800000"}], ["device-id", {"data": "47150000"}]], "children": [
      {"name": "A", "class": "X", "children": [
        {"name": "A1", "class": "X"}, {"name": "A2", "class": "X", "children": [{"name": "A2a", "class": "X"}]}]},
      {"name": "B", "class": "X", "fail": ["children"], "children": [{"name": "B1", "class": "X"}]},
      {"name": "C", "class": "X"}]}]}})");
  scan_docks();
  ASSERT_EQ(gIOPCIDevCnt, 1u);
  const auto& counts = sim.machine().registry().counts();
  EXPECT_EQ(counts.entries_held() + counts.iterators_held(), 3u) << "the walked entries are given back";
  sIOPCIDev& tb = gIOPCIDevList[0];
  std::vector<io_object_t> expected;
  for (const std::size_t entry : {0, 1, 2, 3, 4, 7}) expected.push_back(sim.machine().registry().handle_of(entry));
  EXPECT_EQ(std::vector<io_object_t>(tb.services_under_TB, tb.services_under_TB + tb.services_under_TB_cnt), expected);
  tb.services_under_TB_cnt = 0;
  main_ioreg(tb.service, kWalkThunderboltSubtree, 0, 0);
  EXPECT_EQ(std::vector<io_object_t>(tb.services_under_TB, tb.services_under_TB + tb.services_under_TB_cnt),
            std::vector<io_object_t>{tb.service});
}

// A console whose standard input alone is a terminal, 20 columns wide, counting the
// questions for its width.
class StdinTerminal final : public ConsolePort {
 public:
  void write(Stream stream, std::string_view text) override { (stream == Stream::out ? out : err) += text; }
  std::optional<std::uint32_t> terminal_columns(Stream stream) override {
    ++asked;
    return stream == Stream::in ? std::optional<std::uint32_t>(20) : std::nullopt;
  }
  std::string out, err;
  std::size_t asked = 0;
};

TEST(Println, ClipsToOneColumnLessThanTheWidthAScanTakesOnceFromStandardOutputElseInput) {
  json roots = json::array({entry("P", "IOPCIDevice", json::array({prop_data("pcidebug", "00")}))});
  for (std::uint32_t i = 0; i < 200; ++i) roots.push_back(pci_device("dev", {0x1000, i}));
  auto sim = SimFixture::from_json(machine(roots));
  StdinTerminal terminal;
  Services ports = services();
  ports.console = &terminal;
  const ScopedServices installed(ports);
  println("%s", std::string(100, 'y').c_str());  // without a width, whole
  set_diagnostics_width(80);
  println("%s", std::string(100, 'x').c_str());
  println("short\nline");
  // 19 characters fit in 20 columns; 27 do not.
  std::string out = std::string(100, 'y') + "\n" + std::string(79, 'x') + "$\nshort line\n";
  for (const std::size_t scans : {1u, 2u}) {
    scan_docks();
    out += "showitem_io_pci_dev$\nshowitem_M9182 Err2\n";
    EXPECT_EQ(terminal.asked, 2 * scans) << "standard output, then standard input, once per scan";
  }
  EXPECT_EQ(terminal.out, out);
  printbufsize = printbufleft = printbufclip = 0;
}

TEST(ScanFailures, ANullDockCountChangesNothingAFailedMatchingEndsTheScanAndNoPciDeviceIsNoFailure) {
  auto sim = SimFixture::from_file("dock-type10.json");
  gIOPCIDevCnt = 7;
  EXPECT_EQ(scan_for_devices(nullptr), kIOReturnError);
  EXPECT_EQ(sim.console().err(), "scan_for_devices !dev_cnt\n");
  EXPECT_EQ(gIOPCIDevCnt, 7u);
  for (int failing = 0; failing < 3; ++failing) {
    json doc = sim::MachineFile::load(machines_dir() / "dock-type10.json").doc;
    doc["registry"]["matching_status"] = json::array({0, 0, 0});
    doc["registry"]["matching_status"][failing] = "0xE00002C7";
    auto failing_sim = SimFixture::from_json(doc.dump());
    std::uint32_t docks = 5;
    EXPECT_EQ(scan_for_devices(&docks), kIOReturnError);
    EXPECT_EQ(docks, 0u);
    EXPECT_EQ(failing_sim.console().err(), "IOServiceGetMatchingServices returned 0xe00002c7\n\n");
    // Earlier passes keep what they wrote.
    EXPECT_EQ(std::vector<std::uint32_t>({gIOPCIDevCnt, gCandidateM91xxDevCnt, gCandidateFL1100DevCnt}),
              std::vector<std::uint32_t>({failing >= 1 ? 9u : 0u, failing >= 2 ? 9u : 0u, 0u}));
    EXPECT_EQ(failing_sim.machine().registry().counts().iterators_held(), 0u);
  }
  auto empty = SimFixture::from_json("{}");  // a machine without PCI devices, a scan without failures
  EXPECT_EQ(scan_docks(), 0u);
  EXPECT_EQ(gIOPCIDevCnt + gCandidateM91xxDevCnt + gCandidateFL1100DevCnt, 0u);
}

// Each entry-level failure on a USB controller with a disk on port 2, a dock SATA
// controller with a disk on PRT1, and entries below them: the entry is skipped (its
// children are still walked when only its name or properties fail), the scan goes on,
// and no unrecorded entry is kept.
TEST(ScanFailures, AnEntryWhoseRegistryOperationFailsIsSkipped) {
  const std::string name = "ioreg: error: can't obtain name.\n", props = "ioreg: error: can't obtain properties.\n";
  const std::string children = "ioreg: error: can't obtain children.\nioreg_scan: error: Mark1.\n";
  const std::string sata = "sata 1 idx 1: -0, +5, -0, -0", usb = "usb 0 idx 1: +3, -0, -0, -0";
  const std::vector<std::string> sata_alone{"sata 0 idx 1: -0, +5, -0, -0"};
  const struct {
    const char* entry;  // below the registry's roots
    const char* fails;
    std::string err;
    std::vector<std::string> walked;
  } cases[] = {
      {"/0/children/0", "name", name + "show_FL1100_disks: error: Mark2.\n", {sata, usb}},
      {"/0/children/0", "properties", props, {sata, usb}},
      {"/0/children/0", "children", children, {sata}},
      {"/1/children/0", "name", name + "show_M9182_disks: error: Mark2.\n",
       {"sata 1 idx 0: +5, -0, -0, -0", "usb 0 idx 2: -0, +3, -0, -0"}},
      {"/0", "name", name + "show_io_pci_devices: error: Mark2.\n" + name + "show_M9182: error: Mark2.\n" + name, sata_alone},
      {"/0", "properties", props + props + props, sata_alone},
      {"/0", "children", children + children + children, sata_alone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.entry) + " " + c.fails);
    json roots = json::array({pci_device("usb", kUSBController, json::array({usb_port(2, json::array({media(3)}))})),
                              pci_device("sata", kDockSATA, json::array({ahci_port("PRT1", json::array({media(5)}))}))});
    roots[json::json_pointer(c.entry)]["fail"] = json::array({c.fails});
    auto sim = SimFixture::from_json(machine(roots));
    scan_docks();
    EXPECT_EQ(sim.console().err(), c.err);
    EXPECT_EQ(walked(), c.walked);
    // Only the handles the three tables keep are held, also after the next scan, which
    // gives the previous scan's handles back before it takes new ones.
    const auto& counts = sim.machine().registry().counts();
    for (const bool again : {false, true}) {
      if (again) scan_docks();
      EXPECT_EQ(counts.entries_held(), 3 * gIOPCIDevCnt);
      EXPECT_EQ(counts.iterators_held() + counts.tables_held() + counts.bad_releases + counts.unheld_uses, 0u);
    }
  }
}

}  // namespace
}  // namespace berth
