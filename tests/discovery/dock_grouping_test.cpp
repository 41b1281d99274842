// GUID assignment from the Thunderbolt records, dock grouping into the dock table, and
// the disk walks under the SATA and USB controllers with their running port index.
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

json usb_controller(json ports, PciIdentity id = kUSBController) { return pci_device("usb", id, std::move(ports)); }
json sata_controller(json ports) { return pci_device("sata", kDockSATA, std::move(ports)); }
json disk_on_port(std::int64_t number, std::int64_t unit) { return usb_port(number, json::array({media(unit)})); }

TEST(DockGrouping, TypeTenDockWithUsbAndEsataDisks) {
  auto sim = SimFixture::from_file("dock-type10.json");
  ASSERT_EQ(scan_docks(), 1u);
  const sDeviceSlot& slot = vtr_device_list[0];
  EXPECT_EQ(slot.valid, 1);
  EXPECT_EQ(slot.dev.dev_kind, 1u);
  EXPECT_EQ(slot.dev.is_drive_product, 0);
  EXPECT_EQ(slot.dev.isGUIDValid, 1u);
  EXPECT_EQ(slot.dev.TB_GUID_high, 0x003D000Au);
  EXPECT_EQ(slot.dev.TB_GUID_low, 0x12345678u);
  EXPECT_EQ(slot.dev.bus_num, 133u);
  EXPECT_EQ(units(slot.dev.usb_disk), (std::vector<std::uint32_t>{0xFF, 3, 0xFF, 0xFF}));
  EXPECT_EQ(units(slot.dev.sata_disk), (std::vector<std::uint32_t>{0xFF, 5, 0xFF, 0xFF}));
  // The controller that is in the Thunderbolt subtree got its GUID and Thunderbolt handle.
  EXPECT_EQ(slot.dev.service_thunderbolt, gIOPCIDevList[5].service);
}

TEST(DockGrouping, TypeSixDockNeverTakesASataController) {
  auto sim = SimFixture::from_json(machine(json::array({thunderbolt(
      "TB", 0x003D0006, 7,
      json::array({usb_controller(json::array({disk_on_port(1, 2)})),
                   sata_controller(json::array({ahci_port("PRT0", json::array({media(9)}))}))}))})));
  ASSERT_EQ(scan_docks(), 1u);
  EXPECT_EQ(vtr_device_list[0].dev.usb_disk[0].bsd_unit, 2u);
  EXPECT_EQ(vtr_device_list[0].dev.sata_disk[0].bsd_unit, 0u) << "never written for a type-6 dock";
  EXPECT_EQ(gCandidateM91xxDeviceList[2].TB_GUID_high, 0x003D0006u) << "the SATA controller still has the GUID";
}

TEST(DockGrouping, OnlyBerthlineGuidsOfTypeSixOrTenOpenDocksAndNoDockLeavesTheTableAlone) {
  auto sim = SimFixture::from_json(machine(json::array({
      thunderbolt("wrong-prefix", 0x003E000A, 1, json::array({usb_controller(json::array())})),
      thunderbolt("wrong-type", 0x003D0007, 2, json::array({usb_controller(json::array())})),
      pci_device("no-thunderbolt", kUSBController)})));
  vtr_device_list[0].valid = 1;
  vtr_device_list[0].dev.usb_disk[0].bsd_unit = 42;
  EXPECT_EQ(scan_docks(), 0u);
  EXPECT_EQ(vtr_device_list[0].dev.usb_disk[0].bsd_unit, 42u);
}

TEST(DockGrouping, BusNumberFromTheLeadingDigitsOfPcidebug) {
  const auto bus_for = [](const std::string& pcidebug) {
    PciIdentity id = kUSBController;
    id.pcidebug = pcidebug;
    auto sim = SimFixture::from_json(machine(json::array({thunderbolt("TB", 0x003D0006, 1, json::array({usb_controller(json::array(), id)}))})));
    EXPECT_EQ(scan_docks(), 1u);
    return vtr_device_list[0].dev.bus_num;
  };
  EXPECT_EQ(bus_for("133:0:0"), 133u);
  EXPECT_EQ(bus_for("1234:0:0"), 123u);
  EXPECT_EQ(bus_for("x12:0:0"), 0u);
  EXPECT_EQ(bus_for("7"), 7u);
}

TEST(DockGrouping, DaisyChainedControllersTakeTheLaterThunderboltRecordsGuid) {
  // Dock B hangs behind dock A: B's controllers lie in both subtrees.
  const json dock_b = thunderbolt("TB-B", 0x003D000A, 0xBBBB, json::array({usb_controller(json::array())}));
  auto sim = SimFixture::from_json(machine(json::array({thunderbolt(
      "TB-A", 0x003D0006, 0xAAAA, json::array({usb_controller(json::array({disk_on_port(1, 3)})), dock_b}))})));
  ASSERT_EQ(scan_docks(), 2u);
  EXPECT_EQ(vtr_device_list[0].dev.TB_GUID_low, 0xAAAAu);
  EXPECT_EQ(vtr_device_list[1].dev.TB_GUID_low, 0xBBBBu);
  EXPECT_EQ(vtr_device_list[1].dev.TB_GUID_high, 0x003D000Au);
}

TEST(DockGrouping, EsataPortsOfAnUnmatchedTypeTenDockShowNoDisk) {
  auto sim = SimFixture::from_json(machine(json::array({thunderbolt("TB", 0x003D000A, 1, json::array({usb_controller(json::array())}))})));
  for (auto& port : vtr_device_list[0].dev.sata_disk) port.bsd_unit = 4;  // left by an earlier scan
  ASSERT_EQ(scan_docks(), 1u);
  for (const auto& port : vtr_device_list[0].dev.sata_disk) EXPECT_EQ(port.bsd_unit, 0xFFu);
}

TEST(DockGrouping, TheLastSataControllerWithTheDocksGuidDecides) {
  auto sim = SimFixture::from_json(machine(json::array({thunderbolt(
      "TB", 0x003D000A, 1,
      json::array({usb_controller(json::array()),
                   sata_controller(json::array({ahci_port("PRT0", json::array({media(4)}))})),
                   sata_controller(json::array({ahci_port("PRT1", json::array({media(6)}))}))}))})));
  ASSERT_EQ(scan_docks(), 1u);
  EXPECT_EQ(vtr_device_list[0].dev.sata_disk[0].bsd_unit, 0xFFu);
  EXPECT_EQ(vtr_device_list[0].dev.sata_disk[1].bsd_unit, 6u);
}

TEST(DockGrouping, ScanBlStartsAtTheGivenSlotAndRefusesANullCount) {
  auto sim = SimFixture::from_file("dock-type10.json");
  ASSERT_EQ(scan_docks(), 1u);
  std::uint32_t count = 3;
  EXPECT_EQ(scan_bl(&count), kIOReturnSuccess);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(vtr_device_list[3].dev.sata_disk[1].bsd_unit, 5u);
  EXPECT_EQ(scan_bl(nullptr), kIOReturnError);
  EXPECT_EQ(sim.log().lines().back(), "scan_bl: !dev_cnt");
}

// The disk walks under the SATA and USB controllers and their running port index.

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
