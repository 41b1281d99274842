#pragma once
// What the discovery and ioreg tests share: registry entries for controllers, their ports
// and disks, a scan that must succeed, and the tables a scan leaves, one line a record,
// so that a test compares a whole table at once.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lib/discovery/discovery.h"
#include "tests/support/machine_builder.h"
#include "tests/support/sim_fixture.h"

namespace berth::testing {

// Registry entries: a whole disk (or a slice, which carries its whole disk's unit), a USB
// port steering the walk by its "PortNum", a SATA port steering it by its name ("PRT0").
inline json media(std::int64_t unit, json children = json::array()) {
  return entry("media", "IOMedia", json::array({prop_num("BSD Unit", unit)}), std::move(children));
}
inline json usb_port(std::int64_t number, json children) {
  return entry("port", "AppleUSB30XHCIPort", json::array({prop_num("PortNum", number)}), std::move(children));
}
inline json ahci_port(const std::string& name, json children = json::array()) {
  return entry(name, "AppleAHCIPort", json::array(), std::move(children));
}

// Scans the installed machine, which must succeed, and gives the dock count.
inline std::uint32_t scan_docks() {
  std::uint32_t docks = 99;
  EXPECT_EQ(scan_for_devices(&docks), kIOReturnSuccess);
  return docks;
}

template <typename... Args>
std::string sprint(const char* pattern, Args... args) {
  char text[128];
  std::snprintf(text, sizeof text, pattern, args...);
  return text;
}

// Every PCI record: "VID:DID pcidebug".
inline std::vector<std::string> pci_table() {
  std::vector<std::string> rows;
  for (std::uint32_t i = 0; i < gIOPCIDevCnt; ++i)
    rows.push_back(sprint("%04X:%04X %s", gIOPCIDevList[i].VID, gIOPCIDevList[i].DID, gIOPCIDevList[i].pcidebug));
  return rows;
}

// The PCI records that collected a subtree or carry a GUID: "INDEX:SUBTREE-COUNT", then
// " VALID HIGH-LOW" when a GUID field is set.
inline std::vector<std::string> thunderbolt_records() {
  std::vector<std::string> records;
  for (std::uint32_t i = 0; i < gIOPCIDevCnt; ++i) {
    const sIOPCIDev& r = gIOPCIDevList[i];
    if (r.services_under_TB_cnt == 0 && !r.isGUIDValid) continue;
    const bool guid = r.isGUIDValid || r.TB_GUID_low || r.TB_GUID_high;
    records.push_back(sprint("%u:%u", i, r.services_under_TB_cnt) +
                      (guid ? sprint(" %u %08X-%08X", r.isGUIDValid, r.TB_GUID_high, r.TB_GUID_low) : ""));
  }
  return records;
}

// The candidates a disk walk or the GUID assignment wrote to, in table order:
// "sata|usb INDEX idx IDXDISK: PORT, PORT, PORT, PORT[ guid HIGH-LOW]", a port "+UNIT"
// with a disk or "-UNIT" without, then "/TYPE" or " MODEL|SERIAL" when set.
template <typename Candidate>
void describe_candidates(const char* side, const Candidate* list, std::uint32_t count, std::vector<std::string>& lines) {
  for (std::uint32_t i = 0; i < count; ++i) {
    const Candidate& c = list[i];
    std::string ports;
    for (int p = 0; p < 4; ++p) {
      ports += sprint("%s %c%u", p ? "," : "", c.has_disk[p] ? '+' : '-', c.BSD_unit[p]);
      if constexpr (requires { c.media_type; }) ports += *c.media_type[p] ? "/" + std::string(c.media_type[p]) : "";
      else if (*c.model[p] || *c.SN[p]) ports += " " + std::string(c.model[p]) + "|" + c.SN[p];
    }
    if (c.idxDisk == 0 && !c.isGUIDValid && ports == " -0, -0, -0, -0") continue;
    lines.push_back(sprint("%s %u idx %X:", side, i, c.idxDisk) + ports +
                    (c.isGUIDValid ? sprint(" guid %08X-%08X", c.TB_GUID_high, c.TB_GUID_low) : ""));
  }
}
inline std::vector<std::string> walked() {
  std::vector<std::string> lines;
  describe_candidates("sata", gCandidateM91xxDeviceList, gCandidateM91xxDevCnt, lines);
  describe_candidates("usb", gCandidateFL1100DeviceList, gCandidateFL1100DevCnt, lines);
  return lines;
}

// Slots first to count-1: "HIGH-LOW bus N tb R usb U U U U sata U U U U", R the PCI record
// of the dock's Thunderbolt device, "-" for unit 255, a USB medium's type after "/".
// Each slot must carry the marks of a dock that grouping wrote.
inline std::vector<std::string> docks(std::uint32_t count, std::uint32_t first = 0) {
  std::vector<std::string> lines;
  const auto unit = [](const sDiskInfo& port) {
    return port.bsd_unit == 0xFF ? std::string(" -") : sprint(" %u", port.bsd_unit);
  };
  for (std::uint32_t s = first; s < count; ++s) {
    const sDevice& dock = vtr_device_list[s].dev;
    EXPECT_TRUE(vtr_device_list[s].valid == 1 && dock.dev_kind == 1 && !dock.is_drive_product && dock.isGUIDValid) << s;
    std::uint32_t tb = 0;
    while (tb < gIOPCIDevCnt && gIOPCIDevList[tb].service != dock.service_thunderbolt) ++tb;
    std::string line = sprint("%08X-%08X bus %u tb %u usb", dock.TB_GUID_high, dock.TB_GUID_low, dock.bus_num, tb);
    for (const sDiskInfo& port : dock.usb_disk)
      line += unit(port) + (*port.media_type ? "/" + std::string(port.media_type, strnlen(port.media_type, 16)) : "");
    line += " sata";
    for (const sDiskInfo& port : dock.sata_disk) line += unit(port);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace berth::testing
