// GUID assignment from the Thunderbolt records, dock grouping into the dock table, and
// the disk walks under the SATA and USB controllers with their running port index.
#include "tests/discovery/discovery_test_support.h"

namespace berth {
namespace {

using namespace berth::testing;

json usb_controller(json ports = json::array(), std::string pcidebug = "133:0:0") {
  return pci_device("usb", {0x1B73, 0x1100, 0x1B73, 0x1100, std::move(pcidebug)}, std::move(ports));
}
json sata_controller(const char* port, std::int64_t unit) {
  return pci_device("sata", kDockSATA, json::array({ahci_port(port, json::array({media(unit)}))}));
}
json disk_on_port(std::int64_t number, std::int64_t unit) { return usb_port(number, json::array({media(unit)})); }

// Each machine is scanned over a dock table left by an earlier scan: slot 0 with unit 42
// on its first USB port and unit 4 on every eSATA port.
TEST(DockGrouping, DocksOfAMachine) {
  const struct {
    const char* what;
    std::string machine;
    std::vector<std::string> docks;
  } cases[] = {
      {"type 6 never takes a SATA controller",
       machine(json::array({thunderbolt("TB", 0x003D0006, 7, json::array({usb_controller(json::array({disk_on_port(1, 2)})),
                                                                          sata_controller("PRT0", 9)}))})),
       {"003D0006-00000007 bus 133 tb 0 usb 2 - - - sata 4 4 4 4"}},
      {"only Berthline GUIDs of type 6 or 10 open docks",
       machine(json::array({thunderbolt("wrong-prefix", 0x003E000A, 1, json::array({usb_controller()})),
                            thunderbolt("wrong-type", 0x003D0007, 2, json::array({usb_controller()})),
                            pci_device("no-thunderbolt", kUSBController)})),
       {}},
      {"bus numbers from at most three leading digits of pcidebug",
       machine(json::array({thunderbolt("TB", 0x003D0006, 1,
                                        json::array({usb_controller(json::array(), "1234:0:0"),
                                                     usb_controller(json::array(), "x12:0:0"),
                                                     usb_controller(json::array(), "7")}))})),
       {"003D0006-00000001 bus 123 tb 0 usb - - - - sata 4 4 4 4", "003D0006-00000001 bus 0 tb 0 usb - - - - sata 0 0 0 0",
        "003D0006-00000001 bus 7 tb 0 usb - - - - sata 0 0 0 0"}},
      // Dock B hangs behind dock A: B's controller lies in both subtrees. A's eSATA ports,
      // its SATA controller not found, show no disk, not the units of the earlier scan.
      {"daisy-chained controllers take the later Thunderbolt record's GUID",
       machine(json::array({thunderbolt(
           "TB-A", 0x003D000A, 0xAAAA,
           json::array({usb_controller(json::array({disk_on_port(1, 3)})),
                        thunderbolt("TB-B", 0x003D0006, 0xBBBB, json::array({usb_controller()}))}))})),
       {"003D000A-0000AAAA bus 133 tb 0 usb 3 - - - sata - - - -", "003D0006-0000BBBB bus 133 tb 2 usb - - - - sata 0 0 0 0"}},
      {"the last SATA controller with the dock's GUID decides",
       machine(json::array({thunderbolt("TB", 0x003D000A, 1, json::array({usb_controller(), sata_controller("PRT0", 4),
                                                                          sata_controller("PRT1", 6)}))})),
       {"003D000A-00000001 bus 133 tb 0 usb - - - - sata - 6 - -"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto sim = SimFixture::from_json(c.machine);
    vtr_device_list[0].dev.usb_disk[0].bsd_unit = 42;
    for (auto& port : vtr_device_list[0].dev.sata_disk) port.bsd_unit = 4;
    EXPECT_EQ(docks(scan_docks()), c.docks);
    EXPECT_TRUE(!c.docks.empty() || vtr_device_list[0].dev.usb_disk[0].bsd_unit == 42) << "no dock leaves slot 0 alone";
  }
}

TEST(DockGrouping, ADockOfType10AndScanBlStartingAtTheGivenSlotOrRefusingANullCount) {
  auto sim = SimFixture::from_file("dock-type10.json");
  EXPECT_EQ(docks(scan_docks()), std::vector<std::string>{"003D000A-12345678 bus 133 tb 5 usb - 3 - - sata - 5 - -"});
  std::uint32_t count = 3;
  EXPECT_EQ(scan_bl(&count), kIOReturnSuccess);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(docks(4, 3), docks(1));
  EXPECT_EQ(scan_bl(nullptr), kIOReturnError);
  EXPECT_EQ(sim.log().lines().back(), "scan_bl: !dev_cnt");
}

// The disk walks under one controller: its candidate records as walked() shows them, and
// for the USB walk the system log it writes (empty: not compared).
TEST(DiskWalks, PortsAndUnitsUnderAController) {
  const json early_disk = entry("dev", "IOAHCIDevice", json::array({prop_str("Model", "Early"), prop_num("BSD Unit", 9)}));
  const json long_model = entry("dev", "IOAHCIDevice", json::array({prop_str("Model", std::string(140, 'M')),
                                                                    prop_str("Serial Number", "S1"), prop_num("BSD Unit", 5)}));
  const auto medium = [](json props) { return entry("m", "IOMedia", std::move(props)); };
  const struct {
    const char* what;
    PciIdentity controller;
    json children;
    std::vector<std::string> walked;
    std::string log = "";
  } cases[] = {
      {"SATA: entries before PRT0 use port 0, the first unit on a port stays, PRT2 ends recording", kDockSATA,
       json::array({early_disk, ahci_port("PRT0", json::array({media(4, json::array({media(7)}))})),
                    ahci_port("PRT1", json::array({long_model})), ahci_port("PRT2", json::array({media(6)})),
                    ahci_port("PRT0", json::array({media(8)}))}),
       {"sata 0 idx FF: +9 Early|, +5 " + std::string(127, 'M') + "|S1, -0, -0"}},
      {"SATA: a 0x0613 restarts at VantrelRAID and is not steered by port names", {0x1B21, 0x0613},
       json::array({ahci_port("PRT0", json::array({media(4)})),
                    entry("VantrelRAID", "X", json::array(), json::array({media(11)})),
                    ahci_port("PRT1", json::array({media(12)}))}),
       {"sata 0 idx 0: +11, -0, -0, -0"}},
      {"USB: a unit equal to the previous port's is ignored", kUSBController,
       json::array({disk_on_port(3, 4), disk_on_port(4, 4)}), {"usb 0 idx 3: -0, -0, +4, -0"}},
      {"USB: a PortNum below a hub re-points; a different unit goes to the next port", kUSBController,
       json::array({disk_on_port(1, 4), usb_port(3, json::array({disk_on_port(1, 6), media(7)}))}),
       {"usb 0 idx 2: +6, +7, -0, -0"}},
      {"USB: unit 0 on port 1 is a disk; a PortNum outside 1 to 4 ignores units and types until a valid one",
       kUSBController,
       json::array({disk_on_port(1, 0), usb_port(0, json::array({media(4), medium(json::array({prop_str("Type", "DVD-ROM")}))})),
                    disk_on_port(5, 5), disk_on_port(4, 6)}),
       {"usb 0 idx 4: +0, -0, -0, +6"},
       "c[PortNum], idxPCIDev:0, idxDisk:0|PortNum:: 1_0\n|c[BSD Unit], idxPCIDev:0, idxDisk:0|BSD_unit:: 0 0_0\n|"
       "c[PortNum], idxPCIDev:0, idxDisk:1|PortNum:: 0_-1\n|c[BSD Unit], idxPCIDev:0, idxDisk:FFFFFFFF|"
       "c[Type], idxPCIDev:0, idxDisk:FFFFFFFF|c[PortNum], idxPCIDev:0, idxDisk:FFFFFFFF|PortNum:: 5_4\n|"
       "c[BSD Unit], idxPCIDev:0, idxDisk:4|c[PortNum], idxPCIDev:0, idxDisk:4|PortNum:: 4_3\n|"
       "c[BSD Unit], idxPCIDev:0, idxDisk:3|BSD_unit:: 1 3_6\n|"},
      {"USB: a type before the unit lands on the medium's port, after it on the next, cut to 15", kUSBController,
       json::array({usb_port(1, json::array({medium(json::array({prop_str("Type", "DVD-ROM"), prop_num("BSD Unit", 2)}))})),
                    usb_port(3, json::array({medium(json::array({prop_num("BSD Unit", 8),
                                                                 prop_str("Type", "A-very-long-type-text")}))}))}),
       {"usb 0 idx 3: +2/DVD-ROM, -0, +8, -0/A-very-long-typ"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto sim = SimFixture::from_json(machine(json::array({pci_device("ctl", c.controller, c.children)})));
    scan_docks();
    EXPECT_EQ(walked(), c.walked);
    std::string log;
    for (const auto& line : sim.log().lines()) log += line + "|";
    EXPECT_TRUE(c.log.empty() || log == c.log) << log;
  }
}

}  // namespace
}  // namespace berth
