#include "lib/regctl/driver_scan.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <vector>

#include "lib/discovery/device_tables.h"
#include "lib/regctl/drive_identification.h"
#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"
#include "lib/regctl/spi_flash.h"
#include "platform/services.h"

namespace berth {
namespace {

constexpr std::array<std::uint32_t, 2> kAcceptedVendors{0x1B4B, 0x1B21};
constexpr std::array<std::uint32_t, 10> kAcceptedDevices{0x9123, 0x9128, 0x9125, 0x9235, 0x7777,
                                                         0x9199, 0x918A, 0x0612, 0x0613, 0x9182};
constexpr std::uint32_t kBerthlineGuidPrefix = 0x003D;

enum class Outcome { skipped, not_found, found, end_walk };

template <std::size_t N>
bool accepted(const std::array<std::uint32_t, N>& values, std::uint32_t value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

template <std::size_t N>
std::string_view text_of(const char (&field)[N]) {
  return {field, strnlen(field, N)};
}

template <std::size_t N, std::size_t M>
void copy_text(char (&to)[N], const char (&from)[M]) {
  const std::string_view text = text_of(from).substr(0, N - 1);
  std::memset(to, 0, N);
  text.copy(to, text.size());
}

bool matches(const sCandidateM91xxDev& candidate, std::string_view location) {
  return accepted(kAcceptedVendors, candidate.VID) && accepted(kAcceptedDevices, candidate.DID) &&
         text_of(candidate.pcidebug) == location && candidate.isGUIDValid != 0 &&
         (candidate.TB_GUID_high >> 16) == kBerthlineGuidPrefix;
}

// Copies the disks and Thunderbolt identity of a matching candidate into the record.
void take_candidate(sCandidateM91xxDev& candidate, sDevice& dev) {
  for (std::uint32_t port = 0; port < kPortsPerController; ++port) {
    if (candidate.model[port][0] != '\0') ++candidate.disk_cnt;
    sDiskInfo& disk = dev.sata_disk[port];
    copy_text(disk.model, candidate.model[port]);
    copy_text(disk.serial, candidate.SN[port]);
    disk.bsd_unit = candidate.SN[port][0] != '\0' ? candidate.BSD_unit[port] : kNoDisk;
  }
  dev.disk_cnt = candidate.disk_cnt;
  dev.isGUIDValid = candidate.isGUIDValid;
  dev.TB_GUID_high = candidate.TB_GUID_high;
  dev.TB_GUID_low = candidate.TB_GUID_low;
  dev.service_thunderbolt = candidate.service_thunderbolt;
}

// The controller's identity as the driver reports it, written into the slot's record
// as each query answers; a failed query leaves what the earlier ones wrote.
bool read_identity(io_object_t service, io_connect_t connect, sDevice& dev) {
  if (My_get_bus_dev_fun_num(connect, &dev.bus_num, &dev.dev_num, &dev.fun_num) != kIOReturnSuccess) {
    err_printf("service=%x, scan_by_kVantrelRegCtl:My_get_bus_dev_fun_num Err\n", service);
    return false;
  }
  if (My_get_vid_did(connect, &dev.VID, &dev.DID) != kIOReturnSuccess) {
    err_printf("service=%x, scan_by_kVantrelRegCtl:My_get_vid_did Err\n", service);
    return false;
  }
  if (My_get_sub_vid_did(connect, &dev.SUB_VID, &dev.SUB_DID) != kIOReturnSuccess) return false;
  if (!get_VID_DID_9182_spi_flash(connect, &dev, &dev.spi_flash_id)) {
    err_printf("service=%x, scan_by_kVantrelRegCtl:get_VID_DID_9182_spi_flash Err\n", service);
    return false;
  }
  // The version's flash addresses depend on the device ID read above.
  if (!get_M9182_BIOS_version(connect, &dev)) {
    err_printf("service=%x, scan_by_kVantrelRegCtl:get_M9182_bios_version Err\n", service);
    return false;
  }
  return true;
}

// A slot that holds a drive product cached by an earlier call is about to take a
// controller's identity: its cached report no longer describes the record, so drive
// identification must fetch it again, and a found dock must not read as a drive.
void forget_drive_product(sDeviceSlot& entry) {
  if (!entry.dev.is_drive_product) return;
  entry.valid = 0;
  entry.dev.is_drive_product = 0;
  entry.dev.dev_kind = 1;
}

// Finds the service's controller among the SATA candidates and writes slot `slot`.
Outcome scan_service(io_object_t service, std::uint32_t slot) {
  io_connect_t connect = 0;
  MyUserClientOpenExample(service, &connect);
  if (connect == 0) return Outcome::skipped;
  sDeviceSlot& entry = vtr_device_list[slot];
  forget_drive_product(entry);
  if (!read_identity(service, connect, entry.dev)) {
    MyUserClientCloseExample(connect);
    return Outcome::end_walk;
  }
  char location[16] = {};
  std::snprintf(location, sizeof location, "%d:%d:%d", static_cast<int>(entry.dev.bus_num),
                static_cast<int>(entry.dev.dev_num), static_cast<int>(entry.dev.fun_num));
  bool found = false;
  const std::uint32_t candidates = std::min(gCandidateM91xxDevCnt, kRecordTableCapacity);
  for (std::uint32_t c = 0; c < candidates; ++c) {
    if (!matches(gCandidateM91xxDeviceList[c], location)) continue;
    found = true;  // a later match overwrites what an earlier one wrote
    take_candidate(gCandidateM91xxDeviceList[c], entry.dev);
  }
  if (found) {
    entry.valid = 1;
    entry.dev.service = service;
  }
  MyUserClientCloseExample(connect);
  return found ? Outcome::found : Outcome::not_found;
}

}  // namespace

kern_return_t scan_by_kVantrelRegCtl(std::uint32_t* dev_cnt) {
  if (!dev_cnt) return kIOReturnError;
  std::vector<io_object_t> found;
  DriverPort* driver = services().driver;
  const kern_return_t listed = driver ? driver->get_matching_services(kVantrelRegCtlClass, found) : kIOReturnError;
  if (listed != kIOReturnSuccess) {
    err_printf("IOServiceGetMatchingServices returned 0x%08x\n\n", listed);
    return kIOReturnError;
  }
  std::uint32_t docks = 0;
  for (const io_object_t service : found) {
    const Outcome outcome = scan_service(service, docks);
    if (outcome == Outcome::end_walk) break;
    if (outcome != Outcome::found) continue;
    if (++docks == kDeviceSlotCount) {
      err_printf("scan_by_kVantrelRegCtl Err9");
      break;
    }
  }
  *dev_cnt = docks;
  *dev_cnt += scan_disk_node(docks);
  return kIOReturnSuccess;
}

}  // namespace berth
