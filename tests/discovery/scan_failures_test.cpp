// Failures of the registry: a scan never stops half-way for an entry, only for a
// failed matching.
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

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

}  // namespace
}  // namespace berth
