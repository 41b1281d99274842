// Walk mode 1 records every IOPCIDevice entry with its identity and Thunderbolt GUID;
// walk mode 2 collects the subtree below each Intel Thunderbolt device.
#include "lib/discovery/diagnostics.h"
#include "lib/discovery/discovery.h"
#include "lib/discovery/entry_visit.h"
#include "lib/discovery/identity_tests.h"
#include "lib/discovery/property_reading.h"

namespace berth {
namespace {

constexpr std::size_t kGUIDLength = 8;

void showitem_io_pci_device(const PropertyValue& key, const PropertyValue& value, const ioreg_context& context) {
  const auto name = key_text(key);
  if (!name) return;
  sIOPCIDev& record = gIOPCIDevList[context.record_index];
  if (value.kind == ValueKind::data) {
    if (*name == "vendor-id") record.VID = data_le32(value);
    else if (*name == "device-id") record.DID = data_le32(value);
    else if (*name == "Tunnel Endpoint GUID") {
      record.isGUIDValid = 1;
      record.TB_GUID_low = data_le32(value);
      record.TB_GUID_high = value.bytes.size() == kGUIDLength ? data_le32(value, 4) : 0;
    } else if (*name == "pcidebug") {
      println("showitem_io_pci_device Err2");
    }
  } else if (value.kind == ValueKind::text && *name == "pcidebug") {
    if (const char* text = value.c_string_ptr()) copy_text(record.pcidebug, text);
  }
}

const RecordingTable kPCITable{&gIOPCIDevCnt, "gIOPCIDevCnt Overflow !?",
                               [](std::uint32_t index, io_object_t entry) { gIOPCIDevList[index].service = entry; }};

}  // namespace

void show_io_pci_devices(io_object_t entry, const ioreg_options& options) {
  static const EntryVisit visit{"show_io_pci_devices: error: Mark2.\n", &kPCITable, nullptr, showitem_io_pci_device};
  visit_entry(entry, options, visit);
}

void show_services_under_TB(io_object_t entry, const ioreg_options& options) {
  sIOPCIDev& record = gIOPCIDevList[options.index];
  if (record.services_under_TB_cnt < kServicesUnderTBCapacity)
    record.services_under_TB[record.services_under_TB_cnt++] = entry;
}

void scan_IOPCIDev_services_under_TB() {
  for (std::uint32_t i = 0; i < gIOPCIDevCnt; ++i) {
    const sIOPCIDev& record = gIOPCIDevList[i];
    if (is_intel_thunderbolt(record.VID, record.DID) && record.service != 0)
      main_ioreg(record.service, kWalkThunderboltSubtree, 1, i);
  }
}

}  // namespace berth
