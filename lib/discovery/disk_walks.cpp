// Walk modes 4 and 6: the subtree under each SATA and USB controller, with a running
// port index (idxDisk) that earlier entries set and later entries use.
#include <cstring>

#include "lib/discovery/discovery.h"
#include "lib/discovery/entry_visit.h"
#include "lib/discovery/identity_tests.h"
#include "lib/discovery/property_reading.h"
#include "platform/services.h"

namespace berth {
namespace {

constexpr std::uint32_t kStopRecording = 0xFF;

// SATA side: the port entries "PRT0".."PRT2" steer the index; "PRT2" ends recording.
bool accept_M9182_disk_entry(const ioreg_options& options, const char* name) {
  sCandidateM91xxDev& c = gCandidateM91xxDeviceList[options.index];
  if (c.DID == kDockSATADID) {
    if (c.idxDisk == kStopRecording) return false;
    if (std::strcmp(name, "PRT0") == 0) c.idxDisk = 0;
    else if (std::strcmp(name, "PRT1") == 0) c.idxDisk = 1;
    else if (std::strcmp(name, "PRT2") == 0) {
      c.idxDisk = kStopRecording;
      return false;
    }
  } else if (c.DID == kDockSATARaidDID && std::strcmp(name, "VantrelRAID") == 0) {
    c.idxDisk = 0;
    c.has_disk[0] = 0;
  }
  return true;
}

void showitem_M9182_disks(const PropertyValue& key, const PropertyValue& value, const ioreg_context& context) {
  const auto name = key_text(key);
  sCandidateM91xxDev& c = gCandidateM91xxDeviceList[context.record_index];
  const std::uint32_t p = c.idxDisk;
  if (!name || p >= kPortsPerController) return;
  if (value.kind == ValueKind::text) {
    const char* text = value.c_string_ptr();
    if (!text) return;
    if (*name == "Model") copy_text(c.model[p], text);
    else if (*name == "Serial Number") copy_text(c.SN[p], text);
  } else if (value.kind == ValueKind::number && *name == "BSD Unit" && c.has_disk[p] == 0) {
    c.BSD_unit[p] = number_low32(value);
    c.has_disk[p] = 1;
  }
}

void record_usb_port(sCandidateFL1100Dev& c, const PropertyValue& value) {
  const std::uint32_t n = number_low32(value);
  c.idxDisk = n - 1;
  if (c.idxDisk < kPortsPerController) c.has_disk[c.idxDisk] = 0;
  syslog_printf("PortNum:: %d_%d\n", n, c.idxDisk);
}

void record_usb_unit(sCandidateFL1100Dev& c, const PropertyValue& value) {
  const std::uint32_t u = number_low32(value);
  const std::uint32_t p = c.idxDisk;
  if (p >= kPortsPerController || c.has_disk[p] != 0) return;
  // Slices carry the unit of their whole disk: the same unit right after the port's
  // disk is that disk again, not a disk on the next port.
  if (p != 0 && c.BSD_unit[p - 1] == u) return;
  c.BSD_unit[p] = u;
  c.has_disk[p] = 1;
  syslog_printf(p == 0 ? "BSD_unit:: 0 %d_%d\n" : "BSD_unit:: 1 %d_%d\n", p, u);
  ++c.idxDisk;
}

void showitem_FL1100_disks(const PropertyValue& key, const PropertyValue& value, const ioreg_context& context) {
  const auto name = key_text(key);
  if (!name || (*name != "BSD Unit" && *name != "PortNum" && *name != "Type")) return;
  sCandidateFL1100Dev& c = gCandidateFL1100DeviceList[context.record_index];
  const std::string key_name(*name);
  syslog_printf("c[%s], idxPCIDev:%X, idxDisk:%X", key_name.c_str(), context.record_index, c.idxDisk);
  if (value.kind == ValueKind::number && *name == "PortNum") {
    record_usb_port(c, value);
  } else if (value.kind == ValueKind::number && *name == "BSD Unit") {
    record_usb_unit(c, value);
  } else if (value.kind == ValueKind::text && *name == "Type" && c.idxDisk < kPortsPerController) {
    if (const char* text = value.c_string_ptr()) copy_text(c.media_type[c.idxDisk], text);
  }
}

}  // namespace

void show_M9182_disks(io_object_t entry, const ioreg_options& options) {
  static const EntryVisit visit{"show_M9182_disks: error: Mark2.\n", nullptr, accept_M9182_disk_entry,
                                showitem_M9182_disks};
  visit_entry(entry, options, visit);
}

void show_FL1100_disks(io_object_t entry, const ioreg_options& options) {
  static const EntryVisit visit{"show_FL1100_disks: error: Mark2.\n", nullptr, nullptr, showitem_FL1100_disks};
  visit_entry(entry, options, visit);
}

void scan_disks_under_9182() {
  for (std::uint32_t i = 0; i < gCandidateM91xxDevCnt; ++i) {
    const sCandidateM91xxDev& c = gCandidateM91xxDeviceList[i];
    if (passes_sata_disk_walk(c.VID, c.DID, c.SUB_VID, c.SUB_DID) && c.service != 0)
      main_ioreg(c.service, kWalkSATADisks, 1, i);
  }
}

void scan_disks_under_FL1100() {
  for (std::uint32_t i = 0; i < gCandidateFL1100DevCnt; ++i) {
    const sCandidateFL1100Dev& c = gCandidateFL1100DeviceList[i];
    if (is_usb_controller(c.VID, c.DID) && c.service != 0) main_ioreg(c.service, kWalkUSBDisks, 1, i);
  }
}

}  // namespace berth
