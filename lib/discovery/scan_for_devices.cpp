// The scan driver: clears the working tables, runs the registry passes in their
// fixed order and groups the docks.
#include <cstring>

#include "lib/discovery/discovery.h"
#include "lib/discovery/registry_walker.h"
#include "platform/services.h"

namespace berth {
namespace {

constexpr std::string_view kPCIDeviceClass = "IOPCIDevice";

// The tables keep the entry handles of one scan until the next one begins; a
// status-bar program scans at every menu opening, so they are given back then.
template <typename Record>
void release_kept_handles(RegistryPort* registry, const Record* table, std::uint32_t count) {
  if (!registry) return;
  for (std::uint32_t i = 0; i < count && i < kRecordTableCapacity; ++i)
    if (table[i].service != 0) registry->object_release(table[i].service);
}

template <typename Record>
void clear_table(Record* table, std::uint32_t& count) {
  for (std::uint32_t i = 0; i < kRecordTableCapacity; ++i) std::memset(&table[i], 0, sizeof(Record));
  count = 0;
}

// One matching of every IOPCIDevice, each entry walked alone in `mode`. An entry the
// pass did not record in its table is given back at once.
bool record_matching_pass(RegistryPort& registry, std::uint32_t mode, const std::uint32_t& table_count) {
  io_object_t iterator = 0;
  const kern_return_t status = registry.get_matching_services(kPCIDeviceClass, &iterator);
  if (status != kIOReturnSuccess) {
    err_printf("IOServiceGetMatchingServices returned 0x%08x\n\n", status);
    return false;
  }
  while (const io_object_t entry = registry.iterator_next(iterator)) {
    const std::uint32_t before = table_count;
    main_ioreg(entry, mode, 0, 0);
    if (table_count == before) registry.object_release(entry);
  }
  registry.object_release(iterator);
  return true;
}

}  // namespace

kern_return_t scan_for_devices(std::uint32_t* dev_cnt) {
  if (!dev_cnt) {
    write_err("scan_for_devices !dev_cnt\n");
    return kIOReturnError;
  }
  *dev_cnt = 0;
  RegistryPort* registry = services().registry;
  release_kept_handles(registry, gIOPCIDevList, gIOPCIDevCnt);
  release_kept_handles(registry, gCandidateM91xxDeviceList, gCandidateM91xxDevCnt);
  release_kept_handles(registry, gCandidateFL1100DeviceList, gCandidateFL1100DevCnt);
  clear_table(gIOPCIDevList, gIOPCIDevCnt);
  clear_table(gCandidateM91xxDeviceList, gCandidateM91xxDevCnt);
  clear_table(gCandidateFL1100DeviceList, gCandidateFL1100DevCnt);

  const ScanTerminalWidth width;
  const kern_return_t status = scan_by_ioreg();
  if (status != kIOReturnSuccess) return status;
  return scan_bl(dev_cnt);
}

kern_return_t scan_by_ioreg() {
  RegistryPort* registry = services().registry;
  if (!registry) {
    err_printf("IOServiceGetMatchingServices returned 0x%08x\n\n", kIOReturnError);
    return kIOReturnError;
  }
  if (!record_matching_pass(*registry, kWalkPCICapture, gIOPCIDevCnt)) return kIOReturnError;
  scan_IOPCIDev_services_under_TB();
  if (!record_matching_pass(*registry, kWalkSATACandidates, gCandidateM91xxDevCnt)) return kIOReturnError;
  if (!record_matching_pass(*registry, kWalkUSBCandidates, gCandidateFL1100DevCnt)) return kIOReturnError;
  scan_disks_under_9182();
  fill_GUID_for_each_M91xx();
  scan_disks_under_FL1100();
  fill_GUID_for_each_FL1100();
  return kIOReturnSuccess;
}

}  // namespace berth
