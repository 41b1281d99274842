// The candidate tables: every PCI device recorded twice more, and the identity tests
// the later passes apply.
#include "lib/discovery/identity_tests.h"
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

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

}  // namespace
}  // namespace berth
