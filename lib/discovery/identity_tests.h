#pragma once
// PCI identities of the dock's controllers and of Intel Thunderbolt devices, and the
// tests the passes apply to candidate records.
#include <cstdint>

namespace berth {

inline constexpr std::uint32_t kIntelVID = 0x8086;
inline constexpr std::uint32_t kFL1100VID = 0x1B73;
inline constexpr std::uint32_t kFL1100DID = 0x1100;
inline constexpr std::uint32_t kDockSATAVID = 0x1B21;
inline constexpr std::uint32_t kDockSATADID = 0x0612;
inline constexpr std::uint32_t kDockSATARaidDID = 0x0613;
inline constexpr std::uint32_t kDockSATASubVID = 0x1AB6;
inline constexpr std::uint32_t kDockSATASubDID = 0x1060;
inline constexpr std::uint32_t kBerthlineGUIDPrefix = 0x003D;
inline constexpr std::uint32_t kDockTypeUSB = 6;
inline constexpr std::uint32_t kDockTypeUSBAndESATA = 10;

constexpr bool is_intel_thunderbolt(std::uint32_t vid, std::uint32_t did) {
  return vid == kIntelVID && (did == 0x1513 || did == 0x1547 || did == 0x156D);
}

constexpr bool is_usb_controller(std::uint32_t vid, std::uint32_t did) {
  return vid == kFL1100VID && did == kFL1100DID;
}

constexpr bool passes_sata_disk_walk(std::uint32_t vid, std::uint32_t did, std::uint32_t sub_vid, std::uint32_t sub_did) {
  return vid == kDockSATAVID &&
         (did == kDockSATARaidDID || (did == kDockSATADID && (sub_vid == kDockSATASubVID || sub_did == kDockSATASubDID)));
}

constexpr bool is_sata_guid_family(std::uint32_t vid, std::uint32_t did) {
  if (vid != 0x1B4B && vid != 0x1B21) return false;
  switch (did) {
    case 0x9123: case 0x9128: case 0x9125: case 0x9235: case 0x7777:
    case 0x9199: case 0x918A: case 0x0612: case 0x0613: case 0x9182:
      return true;
    default:
      return false;
  }
}

constexpr bool is_dock_sata_controller(std::uint32_t vid, std::uint32_t did, std::uint32_t sub_vid, std::uint32_t sub_did) {
  return vid == kDockSATAVID && did == kDockSATADID && sub_vid == kDockSATASubVID && sub_did == kDockSATASubDID;
}

// The GUID's high half of a Berthline dock: prefix 0x003D over the device type.
constexpr bool has_berthline_prefix(std::uint32_t tb_guid_high) { return (tb_guid_high >> 16) == kBerthlineGUIDPrefix; }
constexpr std::uint32_t thunderbolt_dev_type(std::uint32_t tb_guid_high) { return tb_guid_high & 0xFFFF; }

}  // namespace berth
