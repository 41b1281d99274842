// Dock grouping (the VantrelBL module): every USB controller whose GUID marks a
// Berthline dock opens a dock record; every dock SATA controller with the same GUID
// adds the dock's eSATA ports.
#include <cstring>

#include "lib/discovery/discovery.h"
#include "lib/discovery/identity_tests.h"
#include "platform/services.h"

namespace berth {
namespace {

// Leading decimal digits of a "bus:device:function" text, at most three.
std::uint32_t bus_number(const char (&pcidebug)[32]) {
  std::uint32_t bus = 0;
  for (std::size_t i = 0; i < 3 && pcidebug[i] >= '0' && pcidebug[i] <= '9'; ++i) bus = bus * 10 + (pcidebug[i] - '0');
  return bus;
}

bool opens_dock(const sCandidateFL1100Dev& c) {
  const std::uint32_t type = thunderbolt_dev_type(c.TB_GUID_high);
  return is_usb_controller(c.VID, c.DID) && c.isGUIDValid != 0 && has_berthline_prefix(c.TB_GUID_high) &&
         (type == kDockTypeUSB || type == kDockTypeUSBAndESATA);
}

bool joins_dock(const sCandidateM91xxDev& s) {
  return is_dock_sata_controller(s.VID, s.DID, s.SUB_VID, s.SUB_DID) && s.isGUIDValid != 0 &&
         has_berthline_prefix(s.TB_GUID_high) && thunderbolt_dev_type(s.TB_GUID_high) == kDockTypeUSBAndESATA;
}

void write_dock(sDeviceSlot& slot, const sCandidateFL1100Dev& c) {
  sDevice& dev = slot.dev;
  slot.valid = 1;
  dev.isGUIDValid = c.isGUIDValid;
  dev.TB_GUID_high = c.TB_GUID_high;
  dev.TB_GUID_low = c.TB_GUID_low;
  dev.service_thunderbolt = c.service_thunderbolt;
  dev.is_drive_product = 0;
  dev.dev_kind = 1;
  dev.bus_num = bus_number(c.pcidebug);
  for (std::uint32_t p = 0; p < kPortsPerController; ++p) {
    sDiskInfo& port = dev.usb_disk[p];
    if (c.has_disk[p] != 0) {
      port.bsd_unit = c.BSD_unit[p];
      std::memcpy(port.media_type, c.media_type[p], sizeof port.media_type);
    } else {
      port.bsd_unit = kNoDisk;
      std::memset(port.media_type, 0, sizeof port.media_type);
    }
  }
  // The eSATA ports of a dock that has them show no disk until its SATA controller
  // is matched below: never a unit left from an earlier scan, nor the table's zero.
  if (thunderbolt_dev_type(c.TB_GUID_high) == kDockTypeUSBAndESATA)
    for (sDiskInfo& port : dev.sata_disk) port.bsd_unit = kNoDisk;
}

}  // namespace

kern_return_t scan_bl(std::uint32_t* dev_cnt) {
  if (!dev_cnt) {
    syslog_printf("%s: !dev_cnt", "scan_bl");
    return kIOReturnError;
  }
  const std::uint32_t start = *dev_cnt;
  std::uint32_t found = 0;
  for (std::uint32_t i = 0; i < gCandidateFL1100DevCnt && start + found < kDeviceSlotCount; ++i) {
    if (!opens_dock(gCandidateFL1100DeviceList[i])) continue;
    write_dock(vtr_device_list[start + found], gCandidateFL1100DeviceList[i]);
    ++found;
  }
  *dev_cnt += found;

  for (std::uint32_t i = 0; i < gCandidateM91xxDevCnt; ++i) {
    const sCandidateM91xxDev& s = gCandidateM91xxDeviceList[i];
    if (!joins_dock(s)) continue;
    for (std::uint32_t slot = start; slot < start + found; ++slot) {
      sDeviceSlot& dock = vtr_device_list[slot];
      if (dock.dev.TB_GUID_high != s.TB_GUID_high || dock.dev.TB_GUID_low != s.TB_GUID_low) continue;
      if (dock.valid != 0)
        for (std::uint32_t p = 0; p < kPortsPerController; ++p)
          dock.dev.sata_disk[p].bsd_unit = s.has_disk[p] != 0 ? s.BSD_unit[p] : kNoDisk;
      break;
    }
  }
  return kIOReturnSuccess;
}

}  // namespace berth
