// The disk walks under the SATA and USB controllers and their running port index.
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

SimFixture scan_under(const PciIdentity& controller, json children) {
  auto sim = SimFixture::from_json(machine(json::array({pci_device("ctl", controller, std::move(children))})));
  scan_docks();
  return sim;
}

TEST(SataWalk, PortEntriesSteerTheUnitsAndPRT2EndsRecording) {
  auto sim = scan_under(kDockSATA, json::array({
      entry("dev", "IOAHCIDevice", json::array({prop_str("Model", "Early"), prop_num("BSD Unit", 9)})),
      ahci_port("PRT0", json::array({media(4, json::array({media(7)}))})),
      ahci_port("PRT1", json::array({entry("dev", "IOAHCIDevice",
                                      json::array({prop_str("Model", std::string(140, 'M')),
                                                   prop_str("Serial Number", "S1"), prop_num("BSD Unit", 5)}))})),
      ahci_port("PRT2", json::array({media(6)})),
      ahci_port("PRT0", json::array({media(8)}))}));
  const sCandidateM91xxDev& c = gCandidateM91xxDeviceList[0];
  // Entries before PRT0 use port 0; the first unit met on a port stays.
  EXPECT_EQ(c.has_disk[0], 1u);
  EXPECT_EQ(c.BSD_unit[0], 9u);
  EXPECT_STREQ(c.model[0], "Early");
  EXPECT_EQ(c.has_disk[1], 1u);
  EXPECT_EQ(c.BSD_unit[1], 5u);
  EXPECT_EQ(std::string(c.model[1]), std::string(127, 'M'));
  EXPECT_STREQ(c.SN[1], "S1");
  EXPECT_EQ(c.has_disk[2], 0u) << "PRT2 and everything after it get no action";
  EXPECT_EQ(c.idxDisk, 0xFFu);
}

TEST(SataWalk, RaidControllerRestartsAtVantrelRAID) {
  auto sim = scan_under({0x1B21, 0x0613}, json::array({
      ahci_port("PRT0", json::array({media(4)})),
      entry("VantrelRAID", "X", json::array(), json::array({media(11)})),
      ahci_port("PRT2", json::array({media(12)}))}));
  const sCandidateM91xxDev& c = gCandidateM91xxDeviceList[0];
  EXPECT_EQ(c.BSD_unit[0], 11u) << "VantrelRAID forgets the port-0 disk";
  EXPECT_EQ(c.has_disk[1], 0u) << "names other than VantrelRAID do not steer a 0x0613";
}

TEST(SataWalk, OnlyControllersThatPassTheTestAreWalked) {
  auto sim = scan_under({0x1B21, 0x0612, 0x1111, 0x2222}, json::array({ahci_port("PRT0", json::array({media(4)}))}));
  EXPECT_EQ(gCandidateM91xxDeviceList[0].has_disk[0], 0u);
}

TEST(UsbWalk, SlicesOfThePortsDiskDoNotSpillOntoTheNextPort) {
  auto sim = scan_under(kUSBController, json::array({usb_port(2, json::array({media(3, json::array({media(3), media(3)}))}))}));
  const sCandidateFL1100Dev& c = gCandidateFL1100DeviceList[0];
  EXPECT_EQ(c.has_disk[1], 1u);
  EXPECT_EQ(c.BSD_unit[1], 3u);
  EXPECT_EQ(c.has_disk[2], 0u);
  EXPECT_EQ(c.idxDisk, 2u);
  const auto& log = sim.log().lines();
  EXPECT_EQ(log[0], "c[PortNum], idxPCIDev:0, idxDisk:0");
  EXPECT_EQ(log[1], "PortNum:: 2_1\n");
  EXPECT_EQ(log[2], "c[BSD Unit], idxPCIDev:0, idxDisk:1");
  EXPECT_EQ(log[3], "BSD_unit:: 1 1_3\n");
}

TEST(UsbWalk, UnitZeroOnPortOneIsADiskAndTheUnitOfThePreviousPortIsIgnored) {
  auto sim = scan_under(kUSBController, json::array({usb_port(1, json::array({media(0)})),
                                                     usb_port(3, json::array({media(4)})),
                                                     usb_port(4, json::array({media(4)}))}));
  const sCandidateFL1100Dev& c = gCandidateFL1100DeviceList[0];
  EXPECT_EQ(c.has_disk[0], 1u);
  EXPECT_EQ(c.BSD_unit[0], 0u);
  EXPECT_EQ(sim.log().lines()[3], "BSD_unit:: 0 0_0\n");
  EXPECT_EQ(c.has_disk[2], 1u);
  EXPECT_EQ(c.BSD_unit[2], 4u);
  EXPECT_EQ(c.has_disk[3], 0u) << "port 4's predecessor already holds unit 4";
}

TEST(UsbWalk, PortNumBelowAHubRepointsAndADifferentUnitGoesToTheNextPort) {
  auto sim = scan_under(kUSBController, json::array({
      usb_port(1, json::array({media(4)})),
      usb_port(3, json::array({usb_port(1, json::array({media(6)})), media(7)}))}));
  const sCandidateFL1100Dev& c = gCandidateFL1100DeviceList[0];
  EXPECT_EQ(c.BSD_unit[0], 6u) << "the hub's port 1 forgets unit 4";
  EXPECT_EQ(c.has_disk[1], 1u);
  EXPECT_EQ(c.BSD_unit[1], 7u);
  EXPECT_EQ(c.has_disk[2], 0u);
  EXPECT_EQ(c.idxDisk, 2u);
}

TEST(UsbWalk, PortNumOutsideOneToFourIgnoresUnitsUntilAValidOne) {
  auto sim = scan_under(kUSBController, json::array({
      usb_port(0, json::array({media(4), entry("m", "IOMedia", json::array({prop_str("Type", "DVD-ROM")}))})),
      usb_port(5, json::array({media(5)})),
      usb_port(4, json::array({media(6)}))}));
  const sCandidateFL1100Dev& c = gCandidateFL1100DeviceList[0];
  EXPECT_EQ(c.has_disk[0] + c.has_disk[1] + c.has_disk[2], 0u);
  EXPECT_EQ(c.BSD_unit[3], 6u);
  EXPECT_EQ(c.media_type[0][0], '\0');
  EXPECT_EQ(sim.log().lines()[1], "PortNum:: 0_-1\n");
}

TEST(UsbWalk, TypeBeforeTheUnitLandsOnTheMediumsPortAfterItOnTheNext) {
  auto sim = scan_under(kUSBController, json::array({
      usb_port(1, json::array({entry("m", "IOMedia",
                                     json::array({prop_str("Type", "DVD-ROM"), prop_num("BSD Unit", 2)}))})),
      usb_port(3, json::array({entry("m", "IOMedia",
                                     json::array({prop_num("BSD Unit", 8), prop_str("Type", "A-very-long-type-text")}))}))}));
  const sCandidateFL1100Dev& c = gCandidateFL1100DeviceList[0];
  EXPECT_STREQ(c.media_type[0], "DVD-ROM");
  EXPECT_STREQ(c.media_type[3], "A-very-long-typ") << "cut to 15 characters, on the port after the medium's";
  EXPECT_EQ(c.media_type[2][0], '\0');
}

}  // namespace
}  // namespace berth
