// The scan on the registries of three real machines, read from what `ioreg -lw0` printed
// there, as they are and edited as a user would. The expected values were taken from the
// dump texts with a separate script (regular expressions over the entry and property
// lines, the scan's rules applied by hand to them), not from this reader.
#include <gtest/gtest.h>

#include "tests/discovery/discovery_test_support.h"
#include "tests/ioreg/dump_support.h"

namespace berth {
namespace {

using namespace berth::testing;

// Every IOPCIDevice entry in document order: "VID:DID pcidebug".
const std::vector<std::string> kMacBookProPci{
    "8086:0D04 0:0:0", "8086:0D01 0:1:0(1:1)", "10DE:0FE9 1:0:0", "10DE:0E1B 1:0:1", "8086:0D05 0:1:1(6:255)",
    "8086:156D 6:0:0(7:255)", "8086:156D 7:0:0(8:8)", "8086:156C 8:0:0", "8086:156D 7:3:0(195:195)",
    "8086:156D 7:4:0(133:133)", "8086:156D 7:5:0(71:71)", "8086:156D 7:6:0(9:9)", "8086:0D26 0:2:0", "8086:0D0C 0:3:0",
    "8086:8C31 0:20:0", "8086:8C3A 0:22:0", "8086:8C20 0:27:0", "8086:8C10 0:28:0(2:2)", "8086:8C14 0:28:2(3:3)",
    "14E4:43A0 3:0:0", "8086:8C16 0:28:3(4:4)", "14E4:1570 4:0:0", "8086:8C18 0:28:4(5:5)", "144D:1600 5:0:0",
    "8086:8C4B 0:31:0", "8086:8C22 0:31:3"};

const std::vector<std::string> kMacPro4Pci{
    "8086:3405 0:0:0", "8086:340A 0:3:0(2:2)", "1002:6738 2:0:0", "1002:AA88 2:0:1", "8086:340E 0:7:0(3:3)",
    "8086:3425 0:16:0", "8086:3426 0:16:1", "8086:342E 0:20:0", "8086:3422 0:20:1", "8086:3423 0:20:2",
    "8086:3438 0:20:3", "8086:10CD 0:25:0", "8086:3A37 0:26:0", "8086:3A38 0:26:1", "8086:3A39 0:26:2",
    "8086:3A3C 0:26:7", "8086:3A3E 0:27:0", "8086:3A40 0:28:0(4:4)", "8086:3A42 0:28:1(5:5)", "8086:3A44 0:28:2(6:6)",
    "8086:10D3 6:0:0", "8086:3A34 0:29:0", "8086:3A35 0:29:1", "8086:3A36 0:29:2", "8086:3A3A 0:29:7",
    "8086:244E 0:30:0(7:7)", "11C1:5811 7:3:0", "8086:3A18 0:31:0", "8086:2681 0:31:2", "8086:3A30 0:31:3"};

const std::vector<std::string> kMacPro6Pci{
    "8086:0E00 0:0:0", "8086:0E02 0:1:0(16:254)", "10B5:8723 16:0:0(17:254)", "10B5:8723 17:1:0(18:18)",
    "1B73:1100 18:0:0", "10B5:8723 17:2:0(177:254)", "8086:156D 177:0:0(178:254)", "8086:156D 178:0:0(179:179)",
    "8086:156C 179:0:0", "8086:156D 178:3:0(237:237)", "8086:156D 178:4:0(218:218)", "8086:156D 178:5:0(199:199)",
    "8086:156D 178:6:0(180:180)", "10B5:8723 17:8:0(19:19)", "10B5:8723 17:9:0(99:176)", "8086:156D 99:0:0(100:176)",
    "8086:156D 100:0:0(101:101)", "8086:156C 101:0:0", "8086:156D 100:3:0(156:160)", "8086:1513 156:0:0(157:160)",
    "8086:1513 157:3:0(158:158)", "1B21:0612 158:0:0", "8086:1513 157:4:0(160:160)", "8086:1513 157:5:0(159:159)",
    "8086:156D 100:4:0(138:138)", "8086:156D 100:5:0(120:120)", "8086:156D 100:6:0(102:102)",
    "10B5:8723 17:10:0(20:98)", "8086:156D 20:0:0(21:98)", "8086:156D 21:0:0(22:22)", "8086:156C 22:0:0",
    "8086:156D 21:3:0(79:81)", "8086:1549 79:0:0(80:81)", "8086:1549 80:0:0(81:81)", "14E4:1682 81:0:0",
    "8086:156D 21:4:0(61:61)", "8086:156D 21:5:0(42:42)", "8086:156D 21:6:0(23:23)", "8086:0E04 0:2:0(2:2)",
    "1002:6798 2:0:0", "1002:AAA0 2:0:1", "8086:0E08 0:3:0(6:6)", "1002:6798 6:0:0", "1002:AAA0 6:0:1",
    "8086:0E20 0:4:0", "8086:0E21 0:4:1", "8086:0E22 0:4:2", "8086:0E23 0:4:3", "8086:0E24 0:4:4", "8086:0E25 0:4:5",
    "8086:0E26 0:4:6", "8086:0E27 0:4:7", "8086:0E28 0:5:0", "8086:0E29 0:5:1", "8086:0E2A 0:5:2", "8086:0E2C 0:5:4",
    "8086:1D3E 0:17:0(10:10)", "8086:1D3A 0:22:0", "8086:1D20 0:27:0", "8086:1D10 0:28:0(11:11)", "14E4:1682 11:0:0",
    "8086:1D12 0:28:1(12:12)", "14E4:1682 12:0:0", "8086:1D14 0:28:2(13:13)", "14E4:43A0 13:0:0",
    "8086:1D18 0:28:4(14:14)", "144D:1600 14:0:0", "8086:1D26 0:29:0", "8086:244E 0:30:0(15:15)", "8086:1D41 0:31:0",
    "8086:1D02 0:31:2", "8086:1D22 0:31:3"};

struct Edit {
  std::string_view entry, key, value;
};
std::string edited(std::string dump, std::initializer_list<Edit> edits) {
  for (const Edit& edit : edits) set_property(dump, edit.entry, edit.key, edit.value);
  return dump;
}

TEST(RealDumps, ScanAsTheDumpsSay) {
  const std::string_view sat1 = "+-o SAT1@1F,2 ", ehci = "+-o EHCI@1D,7 ", ehc2 = "+-o EHC2@1A,7 ", xhc1 = "+-o XHC1@14 ",
                         sata = "+-o pci1b21,612@0 ", guid = "<785634120a003d00>";
  const std::string_view fl1100 = "<731b0000>", fl1100_did = "<00110000>";
  const std::string wd4000 = "WDC WD4000FYYZ-01UL1B2                  ";
  const struct {
    const char* what;
    std::string dump;
    const std::vector<std::string>* pci;  // and the Thunderbolt records, when given
    std::vector<std::string> thunderbolt = {}, walked = {}, docks = {};
  } cases[] = {
      // Thunderbolt bridges without GUIDs; no controller that a disk walk looks for.
      {"MacBookPro11,3", read_dump("MacBookPro11,3.txt"), &kMacBookProPci, {"5:44", "6:34", "8:2", "9:2", "10:2", "11:2"}},
      {"MacPro4,1", read_dump("MacPro4,1.txt"), &kMacPro4Pci},
      // GUIDs <c0b80e0001000b00> on UPS0 (8086:1513) and <b0dfc40402000100> on an 8086:1549,
      // whose subtree is not collected. The FL1100 XHC1 holds unit 4 with no "PortNum" on
      // the way: port 0. pci1b21,612 (below UPS0) has subsystem 1B96:0101: not walked.
      {"MacPro6,1", read_dump("MacPro6,1.txt"), &kMacPro6Pci,
       {"6:44", "7:34", "9:2", "10:2", "11:2", "12:2", "15:103", "16:47", "18:48", "19:46 1 000B0001-000EB8C0", "20:40",
        "22:2", "23:2", "24:2", "25:2", "26:2", "28:57", "29:38", "31:11", "32:0 1 00010002-04C4DFB0", "35:2", "36:2",
        "37:2"},
       {"sata 21 idx 0: -0, -0, -0, -0 guid 000B0001-000EB8C0", "usb 4 idx 1: +4, -0, -0, -0"}},
      // SAT1 made a 1B21:0612 with subsystem vendor 1AB6: PRID (a DVD drive), SECD (an SSD,
      // unit 0), PRT2; no PRT0/PRT1 steers, so both models land on port 0, the last stays,
      // and PRT2 ends the walk. EHC2 made an FL1100: "PortNum" 1, 3, 3, 2, the disk with
      // unit 5 on port 1, then "PortNum" 3, 2 (forgetting it, its unit left unflagged), 3.
      // EHCI made one: "PortNum" 4, 3, then a medium with "BSD Unit" 6 and then "Type"
      // "CD-ROM": the unit on port 2, the type on the next port.
      {"MacPro4,1 with dock controllers",
       edited(read_dump("MacPro4,1.txt"), {{sat1, "vendor-id", "<211b0000>"}, {sat1, "device-id", "<12060000>"},
                                           {sat1, "subsystem-vendor-id", "<b61a0000>"}, {ehci, "vendor-id", fl1100},
                                           {ehci, "device-id", fl1100_did}, {ehc2, "vendor-id", fl1100},
                                           {ehc2, "device-id", fl1100_did}}),
       nullptr, {},
       {"sata 28 idx FF: +0 INTEL SSDSC2CW120A3                     |CVCV245100K2120BGN  , -0, -0, -0",
        "usb 15 idx 2: -0, -5, -0, -0", "usb 24 idx 3: -0, -0, +6, -0/CD-ROM"}},
      // XHC1 made an FL1100: "PortNum" 4, 8, 12, 3, then 5 above a disk (unit 6): no port.
      {"MacBookPro11,3 with an FL1100",
       edited(read_dump("MacBookPro11,3.txt"), {{xhc1, "vendor-id", fl1100}, {xhc1, "device-id", fl1100_did}}), nullptr,
       {}, {"usb 14 idx 4: -0, -0, -0, -0"}},
      // XHC1's "pcidebug" = "18:0:0"; its Thunderbolt device is BR13, record 3.
      {"MacPro6,1 with a dock of type 6", mac_pro6_with_dock("<7856341206003d00>"), nullptr, {},
       {"sata 21 idx 0: -0, -0, -0, -0 guid 000B0001-000EB8C0", "usb 4 idx 1: +4, -0, -0, -0 guid 003D0006-12345678"},
       {"003D0006-12345678 bus 18 tb 3 usb 4 - - - sata 0 0 0 0"}},
      // The dock's GUID on UPS0 too, and pci1b21,612 given the dock's subsystem: PRT0 and
      // PRT1 hold units 1 and 2 with their drives' models and serials (the RAID set's own
      // unit 3 comes later on each port and is not taken).
      {"MacPro6,1 with a dock of type 10 and its SATA controller",
       edited(mac_pro6_with_dock(guid), {{"UPS0@0  <class IOPCIDevice, id 0x100000362", "Tunnel Endpoint GUID", guid},
                                         {sata, "subsystem-vendor-id", "<b61a0000>"}, {sata, "subsystem-id", "<60100000>"}}),
       nullptr, {},
       {"sata 21 idx 1: +1 " + wd4000 + "|     WD-WMC130F1J2MC, +2 " + wd4000 + "|     WD-WCC137EPH5XX, -0, -0 guid " +
            "003D000A-12345678",
        "usb 4 idx 1: +4, -0, -0, -0 guid 003D000A-12345678"},
       {"003D000A-12345678 bus 18 tb 3 usb 4 - - - sata 1 2 - -"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto sim = dump_machine(c.dump);
    EXPECT_EQ(docks(scan_docks()), c.docks);
    EXPECT_EQ(walked(), c.walked);
    if (!c.pci) continue;
    EXPECT_EQ(pci_table(), *c.pci);
    EXPECT_EQ(std::vector<std::uint32_t>({gCandidateM91xxDevCnt, gCandidateFL1100DevCnt}),
              std::vector<std::uint32_t>(2, c.pci->size()));
    EXPECT_EQ(thunderbolt_records(), c.thunderbolt);
  }
}

}  // namespace
}  // namespace berth
