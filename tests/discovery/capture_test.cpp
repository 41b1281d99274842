// The capture passes: PCI capture (identity and Thunderbolt GUID of every IOPCIDevice),
// the subtree below each Intel Thunderbolt device, and the candidate tables (every PCI
// device recorded twice more) with the identity tests the later passes apply.
#include <chrono>

#include "lib/discovery/identity_tests.h"
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

TEST(PciCapture, ReadsIdentityAndGUIDHalvesLittleEndianWhateverTheGUIDsLength) {
  struct Case {
    const char* guid;
    std::uint32_t low, high;
  };
  // Only an 8-byte value has a high half; a short one gives the bytes it has, zero-extended.
  const Case cases[] = {{"785634120a003d00", 0x12345678, 0x003D000A},
                        {"785634120a003d00" "11223344" "55667788", 0x12345678, 0},
                        {"785634120a00", 0x12345678, 0},
                        {"7856", 0x5678, 0}};
  json roots = json::array();
  for (const Case& c : cases)
    roots.push_back(pci_device("TB", {0x8086, 0x1547, 0, 0, "5:0:0"}, json::array(),
                               json::array({prop_data("Tunnel Endpoint GUID", c.guid)})));
  auto sim = SimFixture::from_json(machine(roots));
  scan_docks();
  EXPECT_EQ(gIOPCIDevList[0].VID, 0x8086u);
  EXPECT_EQ(gIOPCIDevList[0].DID, 0x1547u);
  EXPECT_STREQ(gIOPCIDevList[0].pcidebug, "5:0:0");
  for (std::uint32_t i = 0; i < std::size(cases); ++i) {
    const sIOPCIDev& dev = gIOPCIDevList[i];
    EXPECT_EQ(std::tuple(dev.isGUIDValid, dev.TB_GUID_low, dev.TB_GUID_high),
              std::tuple(1u, cases[i].low, cases[i].high))
        << "GUID " << cases[i].guid;
  }
}

TEST(PciCapture, ShortIdentityDataIsZeroExtendedOddValuesAreIgnoredAndLongTextIsCut) {
  PciIdentity long_pcidebug{0x1, 0x2};
  long_pcidebug.pcidebug = std::string(40, '7');
  auto sim = SimFixture::from_json(machine(json::array(
      {entry("P", "IOPCIDevice",
             json::array({prop_data("vendor-id", "86"), json::array({"device-id", {{"num", 0x1547}}}),
                          prop_data("pcidebug", "3132"), json::array({{{"num", 1}}, {{"str", "x"}}}),
                          json::array({"pcidebug", {{"wide", "9:9:9"}}})})),
       pci_device("Q", long_pcidebug)})));
  scan_docks();
  EXPECT_EQ(gIOPCIDevList[0].VID, 0x86u);
  EXPECT_EQ(gIOPCIDevList[0].DID, 0u) << "an integer device-id is not data";
  EXPECT_STREQ(gIOPCIDevList[0].pcidebug, "") << "text without an 8-bit form is ignored";
  EXPECT_EQ(sim.console().out(), "showitem_io_pci_device Err2\nshowitem_M9182 Err2\n");
  EXPECT_EQ(std::string(gIOPCIDevList[1].pcidebug), std::string(31, '7'));
}

TEST(ThunderboltSubtree, CollectedForIntelThunderboltDevicesOnly) {
  const json child = entry("child", "X");
  auto sim = SimFixture::from_json(machine(json::array(
      {pci_device("no-guid", {0x8086, 0x1547}, json::array({child})),
       pci_device("other", {0x8086, 0x1548}, json::array({child})),
       pci_device("leaf", {0x8086, 0x156D})})));
  scan_docks();
  EXPECT_EQ(gIOPCIDevList[0].services_under_TB_cnt, 2u) << "collected even without a GUID";
  EXPECT_EQ(gIOPCIDevList[0].services_under_TB[0], gIOPCIDevList[0].service) << "the device itself comes first";
  EXPECT_EQ(gIOPCIDevList[1].services_under_TB_cnt, 0u);
  EXPECT_EQ(gIOPCIDevList[2].services_under_TB_cnt, 1u);
  EXPECT_EQ(gIOPCIDevList[2].services_under_TB[0], gIOPCIDevList[2].service);
}

TEST(ThunderboltSubtree, StopsSilentlyAt512Entries) {
  json children = json::array();
  for (int i = 0; i < 600; ++i) children.push_back(entry("e" + std::to_string(i), "X"));
  auto sim = SimFixture::from_json(machine(json::array({thunderbolt("TB", 0x003D000A, 1, children)})));
  scan_docks();
  EXPECT_EQ(gIOPCIDevList[0].services_under_TB_cnt, 512u);
  EXPECT_EQ(gIOPCIDevList[0].services_under_TB[511], sim.machine().registry().handle_of(511));
  EXPECT_EQ(sim.console().out(), "");
}

TEST(PciCapture, FullTableDropsFurtherEntriesWithALineEachAndGivesThemBack) {
  json roots = json::array();
  for (int i = 0; i < 1026; ++i) roots.push_back(pci_device("p" + std::to_string(i), {0x1000, std::uint32_t(i)}));
  auto sim = SimFixture::from_json(machine(roots));
  scan_docks();
  EXPECT_EQ(gIOPCIDevCnt, 1024u);
  EXPECT_EQ(gIOPCIDevList[1023].DID, 1023u);
  EXPECT_EQ(sim.console().out(),
            "gIOPCIDevCnt Overflow !?\ngIOPCIDevCnt Overflow !?\n"
            "gCandidateM91xxDevCnt Overflow !?\ngCandidateM91xxDevCnt Overflow !?\n"
            "gCandidateFL1100DevCnt Overflow !?\ngCandidateFL1100DevCnt Overflow !?\n");
  EXPECT_EQ(sim.machine().registry().counts().entries_held(), 3u * 1024u);
}

TEST(Candidates, EveryPciDeviceIsInBothTablesWithItsSubsystemIdentity) {
  auto sim = SimFixture::from_json(machine(json::array(
      {pci_device("usb", kUSBController), pci_device("gpu", {0x10DE, 0x11C0, 0x106B, 0x0122, "1:0:0"})})));
  scan_docks();
  ASSERT_EQ(gCandidateM91xxDevCnt, 2u);
  ASSERT_EQ(gCandidateFL1100DevCnt, 2u);
  EXPECT_EQ(gCandidateM91xxDeviceList[0].VID, 0x1B73u) << "a USB controller is a SATA candidate too";
  EXPECT_EQ(gCandidateFL1100DeviceList[1].SUB_VID, 0x106Bu);
  EXPECT_EQ(gCandidateFL1100DeviceList[1].SUB_DID, 0x0122u);
  EXPECT_STREQ(gCandidateFL1100DeviceList[1].pcidebug, "1:0:0");
  // Records of the same device are tied by their equal handles only.
  EXPECT_EQ(gCandidateM91xxDeviceList[1].service, gIOPCIDevList[1].service);
  EXPECT_EQ(gCandidateFL1100DeviceList[1].service, gIOPCIDevList[1].service);
}

TEST(Candidates, IdentityTests) {
  EXPECT_TRUE(passes_sata_disk_walk(0x1B21, 0x0612, 0x1AB6, 0x9999));
  EXPECT_TRUE(passes_sata_disk_walk(0x1B21, 0x0612, 0x9999, 0x1060));
  EXPECT_FALSE(passes_sata_disk_walk(0x1B21, 0x0612, 0x9999, 0x9999));
  EXPECT_FALSE(is_dock_sata_controller(0x1B21, 0x0612, 0x1AB6, 0x9999));
  EXPECT_TRUE(passes_sata_disk_walk(0x1B21, 0x0613, 0, 0));
  EXPECT_FALSE(is_dock_sata_controller(0x1B21, 0x0613, 0x1AB6, 0x1060));
  EXPECT_FALSE(passes_sata_disk_walk(0x1B4B, 0x9230, 0, 0));
  EXPECT_FALSE(is_sata_guid_family(0x1B4B, 0x9230));
  EXPECT_TRUE(is_sata_guid_family(0x1B4B, 0x9235));
  EXPECT_FALSE(passes_sata_disk_walk(0x1B4B, 0x9235, 0, 0));
  EXPECT_TRUE(is_usb_controller(0x1B73, 0x1100));
  EXPECT_FALSE(is_usb_controller(0x1B73, 0x1009));
}

TEST(Candidates, DumpWritesTheGuidFamilyToTheSystemLog) {
  auto sim = SimFixture::from_json(machine(json::array(
      {pci_device("gpu", {0x10DE, 0x11C0}), pci_device("sata", {0x1B4B, 0x9235, 0, 0, "7:0:0"})})));
  scan_docks();
  EXPECT_EQ(dump_IOPCIDevice_list(), 2u);
  const auto& lines = sim.log().lines();
  ASSERT_EQ(lines.size(), 1u + 7u + 4u * 3u + 4u);
  EXPECT_EQ(lines[0], "gCandidateM91xxDevCnt = 2");
  EXPECT_EQ(lines[1], "gCandidateM91xxDevCnt = 2_1\n");
  EXPECT_EQ(lines[2], "pcidebug=7:0:0\n");
  EXPECT_EQ(lines[4], "DID=9235\n");
  EXPECT_EQ(lines[8], "Disk#0:\n");
  EXPECT_EQ(lines[18], "model=\n");
  EXPECT_EQ(lines.back(), "service_thunderbolt=0\n");
}

// A machine at the tables' limits: 1024+ PCI devices, Thunderbolt subtrees of 512+
// entries, more qualifying USB controllers than dock slots. Nothing is written outside
// a table (the sanitizer build checks the bounds) and the scan stays fast.
std::string big_machine() {
  json roots = json::array();
  for (int tb = 0; tb < 8; ++tb) {
    json children = json::array();
    for (int i = 0; i < 3; ++i) {
      json ports = json::array();
      for (int p = 1; p <= 4; ++p)
        ports.push_back(entry("port", "Port", json::array({prop_num("PortNum", p)}),
                              json::array({entry("m", "IOMedia", json::array({prop_num("BSD Unit", tb * 16 + p)}))})));
      children.push_back(pci_device("usb", kUSBController, ports));
    }
    for (int i = 0; i < 560; ++i) children.push_back(entry("filler", "X"));
    roots.push_back(thunderbolt("TB", tb % 2 ? 0x003D000A : 0x003D0006, 0x1000 + tb, children));
  }
  for (int i = 0; i < 1030; ++i) roots.push_back(pci_device("dev", {0x1000, static_cast<std::uint32_t>(i)}));
  return machine(roots);
}

TEST(BigMachine, FillsEveryTableToItsLimitQuickly) {
  auto sim = SimFixture::from_json(big_machine());
  std::uint32_t docks = 0;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(scan_for_devices(&docks), kIOReturnSuccess);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(gIOPCIDevCnt, 1024u);
  EXPECT_EQ(gCandidateFL1100DevCnt, 1024u);
  EXPECT_EQ(docks, 16u) << "24 qualifying controllers, 16 slots";
  for (std::uint32_t i = 0; i < 8; ++i) {
    // Each Thunderbolt record is followed in the PCI table by its three controllers.
    const sIOPCIDev& tb = gIOPCIDevList[i * 4];
    EXPECT_EQ(tb.DID, 0x1547u);
    EXPECT_EQ(tb.services_under_TB_cnt, 512u);
  }
  // The controllers sit early in each subtree, so all of them got their dock's GUID.
  EXPECT_EQ(vtr_device_list[15].dev.TB_GUID_low, 0x1005u);
  EXPECT_EQ(vtr_device_list[15].dev.usb_disk[3].bsd_unit, 5u * 16 + 4);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 2000)
      << "generous bound for sanitizer builds; a plain build takes milliseconds";
}

}  // namespace
}  // namespace berth
