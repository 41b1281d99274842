// A machine at the tables' limits: 1024+ PCI devices, Thunderbolt subtrees of 512+
// entries, more qualifying USB controllers than dock slots. Nothing is written outside
// a table (the sanitizer build checks the bounds) and the scan stays fast.
#include <chrono>

#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

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
