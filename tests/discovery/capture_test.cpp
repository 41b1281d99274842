// The capture passes: PCI capture (identity and Thunderbolt GUID of every IOPCIDevice),
// the subtree below each Intel Thunderbolt device, and the candidate tables (every PCI
// device recorded twice more) with the identity tests the later passes apply.
#include <chrono>

#include "lib/discovery/identity_tests.h"
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

// Which Intel devices have their subtree collected is left to the real dumps (8086:1513
// and 156D with and without a GUID; 8086:1549 with one, not collected).
TEST(PciCapture, ReadsIdentitiesGuidHalvesAndTextsIntoThePciAndCandidateTablesAndTheirDump) {
  json roots = json::array();
  // Only an 8-byte GUID has a high half; a short one gives the bytes it has, zero-extended.
  for (const char* guid : {"785634120a003d00", "785634120a003d001122334455667788", "785634120a00", "7856"})
    roots.push_back(pci_device("TB", {0x8086, 0x1547, 0, 0, "5:0:0"}, json::array(),
                               json::array({prop_data("Tunnel Endpoint GUID", guid)})));
  // Short data is zero-extended; an integer device-id, a non-text key and a text without
  // an 8-bit form are ignored; "pcidebug" as data is reported; a long one is cut.
  roots.push_back(entry("P", "IOPCIDevice",
                        json::array({prop_data("vendor-id", "86"), prop_num("device-id", 0x1547),
                                     prop_data("pcidebug", "3132"), json::array({{{"num", 1}}, {{"str", "x"}}}),
                                     json::array({"pcidebug", {{"wide", "9:9:9"}}})})));
  roots.push_back(pci_device("Q", {0x1, 0x2, 0x3, 0x4, std::string(40, '7')}));
  roots.push_back(pci_device("sata", {0x1B4B, 0x9235, 0, 0, "7:0:0"}));  // of the SATA GUID family
  auto sim = SimFixture::from_json(machine(roots));
  scan_docks();
  const std::string cut(31, '7');
  EXPECT_EQ(pci_table(), (std::vector<std::string>{"8086:1547 5:0:0", "8086:1547 5:0:0", "8086:1547 5:0:0",
                                                   "8086:1547 5:0:0", "0086:0000 ", "0001:0002 " + cut,
                                                   "1B4B:9235 7:0:0"}));
  EXPECT_EQ(thunderbolt_records(), (std::vector<std::string>{"0:1 1 003D000A-12345678", "1:1 1 00000000-12345678",
                                                             "2:1 1 00000000-12345678", "3:1 1 00000000-00005678"}));
  EXPECT_EQ(sim.console().out(), "showitem_io_pci_device Err2\nshowitem_M9182 Err2\n");
  // Both candidate tables hold the device with its subsystem identity (the real dumps
  // check that they hold every device, and the GUID assignment that handles tie them).
  const sCandidateM91xxDev& sata = gCandidateM91xxDeviceList[5];
  const sCandidateFL1100Dev& usb = gCandidateFL1100DeviceList[5];
  EXPECT_EQ(sprint("%X:%X %X:%X %s", sata.VID, sata.DID, sata.SUB_VID, sata.SUB_DID, sata.pcidebug), "1:2 3:4 " + cut);
  EXPECT_EQ(sprint("%X:%X %X:%X %s", usb.VID, usb.DID, usb.SUB_VID, usb.SUB_DID, usb.pcidebug), "1:2 3:4 " + cut);
  // The diagnostic dump writes the SATA candidates of the GUID family to the system log.
  EXPECT_EQ(dump_IOPCIDevice_list(), 7u);
  std::vector<std::string> expected{"gCandidateM91xxDevCnt = 7", "gCandidateM91xxDevCnt = 7_6\n", "pcidebug=7:0:0\n",
                                    "VID=1b4b\n", "DID=9235\n", "SUB_VID=0\n", "SUB_DID=0\n", "Disk count=0\n"};
  for (const char* port : {"Disk#0:\n", "Disk#1:\n", "Disk#2:\n", "Disk#3:\n"})
    expected.insert(expected.end(), {port, "model=\n", "SN=\n"});
  expected.insert(expected.end(), {"isGUIDValid=0\n", "TB_GUID_low=0\n", "TB_GUID_high=0\n", "service_thunderbolt=0\n"});
  EXPECT_EQ(sim.log().lines(), expected);
}

TEST(Candidates, IdentityTests) {
  const struct {
    std::uint32_t vid, did, sub_vid, sub_did;
    bool usb, walk, family, dock;
  } cases[] = {
      {0x1B21, 0x0612, 0x1AB6, 0x1060, 0, 1, 1, 1}, {0x1B21, 0x0612, 0x1AB6, 0x9999, 0, 1, 1, 0},
      {0x1B21, 0x0612, 0x9999, 0x1060, 0, 1, 1, 0}, {0x1B21, 0x0612, 0x9999, 0x9999, 0, 0, 1, 0},
      {0x1B21, 0x0613, 0x1AB6, 0x1060, 0, 1, 1, 0}, {0x1B4B, 0x9230, 0, 0, 0, 0, 0, 0},
      {0x1B4B, 0x9235, 0, 0, 0, 0, 1, 0},           {0x1B73, 0x1100, 0, 0, 1, 0, 0, 0},
      {0x1B73, 0x1009, 0, 0, 0, 0, 0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(std::tuple(is_usb_controller(c.vid, c.did), passes_sata_disk_walk(c.vid, c.did, c.sub_vid, c.sub_did),
                         is_sata_guid_family(c.vid, c.did), is_dock_sata_controller(c.vid, c.did, c.sub_vid, c.sub_did)),
              std::tuple(c.usb, c.walk, c.family, c.dock))
        << sprint("%04X:%04X %04X:%04X", c.vid, c.did, c.sub_vid, c.sub_did);
}

// Beyond the tables' limits: 1062 PCI devices, subtrees of 588 entries, 24 qualifying USB
// controllers for 16 slots. Nothing is written outside a table (the sanitizer build checks
// the bounds), full tables drop entries with a line each and give them back, a subtree
// stops silently at 512 entries, and the scan stays fast.
TEST(BigMachine, FillsEveryTableToItsLimitQuickly) {
  json roots = json::array();
  for (int tb = 0; tb < 8; ++tb) {
    json children = json::array();
    for (int i = 0; i < 3; ++i) {
      json ports = json::array();
      for (int p = 1; p <= 4; ++p) ports.push_back(usb_port(p, json::array({media(tb * 16 + p)})));
      children.push_back(pci_device("usb", kUSBController, ports));
    }
    for (int i = 0; i < 560; ++i) children.push_back(entry("filler", "X"));
    roots.push_back(thunderbolt("TB", tb % 2 ? 0x003D000A : 0x003D0006, 0x1000 + tb, children));
  }
  for (int i = 0; i < 1030; ++i) roots.push_back(pci_device("dev", {0x1000, static_cast<std::uint32_t>(i)}));
  auto sim = SimFixture::from_json(machine(roots));
  const auto start = std::chrono::steady_clock::now();
  const std::uint32_t count = scan_docks();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(std::vector<std::uint32_t>({gIOPCIDevCnt, gCandidateM91xxDevCnt, gCandidateFL1100DevCnt}),
            std::vector<std::uint32_t>(3, 1024));
  EXPECT_EQ(gIOPCIDevList[1023].DID, 991u);
  std::string overflow;
  for (const char* table : {"gIOPCIDevCnt", "gCandidateM91xxDevCnt", "gCandidateFL1100DevCnt"})
    for (int dropped = 0; dropped < 38; ++dropped) overflow += std::string(table) + " Overflow !?\n";
  EXPECT_EQ(sim.console().out(), overflow);
  EXPECT_EQ(sim.machine().registry().counts().entries_held(), 3u * 1024u);
  // Each Thunderbolt record is followed in the PCI table by its three controllers.
  for (std::uint32_t i = 0; i < 8; ++i) EXPECT_EQ(gIOPCIDevList[i * 4].services_under_TB_cnt, 512u);
  EXPECT_EQ(gIOPCIDevList[0].services_under_TB[511], sim.machine().registry().handle_of(511));
  // The controllers sit early in each subtree, so all of them got their dock's GUID.
  ASSERT_EQ(count, 16u) << "24 qualifying controllers, 16 slots";
  EXPECT_EQ(docks(count).back(), "003D000A-00001005 bus 133 tb 20 usb 81 82 83 84 sata - - - -");
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 2000)
      << "generous bound for sanitizer builds; a plain build takes milliseconds";
}

}  // namespace
}  // namespace berth
