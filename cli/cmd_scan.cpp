// berthctl scan: runs the registry scan and shows the docks and table sizes.
#include <cstdio>

#include "cli/commands.h"
#include "lib/discovery/discovery.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

using json = nlohmann::ordered_json;

json dock_json(std::uint32_t slot) {
  const sDeviceSlot& entry = vtr_device_list[slot];
  const sDevice& dev = entry.dev;
  json usb = json::array();
  json sata = json::array();
  for (std::uint32_t p = 0; p < kPortsPerController; ++p) {
    const auto& port = dev.usb_disk[p];
    usb.push_back({{"bsd_unit", port.bsd_unit},
                   {"media_type", std::string(port.media_type, strnlen(port.media_type, sizeof port.media_type))}});
    sata.push_back({{"bsd_unit", dev.sata_disk[p].bsd_unit}});
  }
  return {{"slot", slot},
          {"valid", entry.valid},
          {"dev_kind", dev.dev_kind},
          {"type", dev.TB_GUID_high & 0xFFFF},
          {"tb_guid_high", hex32(dev.TB_GUID_high)},
          {"tb_guid_low", hex32(dev.TB_GUID_low)},
          {"bus_num", dev.bus_num},
          {"usb", usb},
          {"sata", sata}};
}

json thunderbolt_json() {
  json records = json::array();
  for (std::uint32_t i = 0; i < gIOPCIDevCnt; ++i) {
    const sIOPCIDev& pci = gIOPCIDevList[i];
    if (pci.services_under_TB_cnt == 0) continue;
    records.push_back({{"index", i},
                       {"is_guid_valid", pci.isGUIDValid},
                       {"tb_guid_high", hex32(pci.TB_GUID_high)},
                       {"tb_guid_low", hex32(pci.TB_GUID_low)},
                       {"subtree", pci.services_under_TB_cnt}});
  }
  return records;
}

std::string unit_text(std::uint32_t unit) { return unit == kNoDisk ? "-" : "disk" + std::to_string(unit); }

void print_table(kern_return_t status, std::uint32_t count) {
  std::string text = format("scan status %s: %u dock%s\n", hex32(status).c_str(), count, count == 1 ? "" : "s");
  if (count == 0) text += "no Berthline dock was found\n";
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    const sDevice& dev = vtr_device_list[slot].dev;
    const std::uint32_t type = dev.TB_GUID_high & 0xFFFF;
    text += format("dock %u: type %u, GUID %s:%s, bus %u\n", slot, type, hex32(dev.TB_GUID_high).c_str(),
                   hex32(dev.TB_GUID_low).c_str(), dev.bus_num);
    for (std::uint32_t p = 0; p < 3; ++p) {
      const auto& port = dev.usb_disk[p];
      text += format("  USB port %u:   %s%s%s\n", p + 1, unit_text(port.bsd_unit).c_str(), port.media_type[0] ? " " : "",
                     std::string(port.media_type, strnlen(port.media_type, sizeof port.media_type)).c_str());
    }
    for (std::uint32_t p = 0; type == 10 && p < 2; ++p)
      text += format("  eSATA port %u: %s\n", p + 1, unit_text(dev.sata_disk[p].bsd_unit).c_str());
  }
  text += format("tables: %u PCI devices, %u SATA candidates, %u USB candidates\n", gIOPCIDevCnt,
                 gCandidateM91xxDevCnt, gCandidateFL1100DevCnt);
  write_out(text);
}

}  // namespace

int cmd_scan(CliContext&, std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  expect_no_more(args);
  std::uint32_t count = 0;
  const kern_return_t status = scan_for_devices(&count);
  if (!as_json) {
    print_table(status, count);
    return status == kIOReturnSuccess ? kExitOk : kExitFailed;
  }
  json docks = json::array();
  for (std::uint32_t slot = 0; slot < count; ++slot) docks.push_back(dock_json(slot));
  print_json({{"status", hex32(status)},
              {"count", count},
              {"docks", docks},
              {"tables",
               {{"pci", gIOPCIDevCnt},
                {"sata_candidates", gCandidateM91xxDevCnt},
                {"usb_candidates", gCandidateFL1100DevCnt},
                {"thunderbolt", thunderbolt_json()}}}});
  return status == kIOReturnSuccess ? kExitOk : kExitFailed;
}

}  // namespace berth::cli
