#include "lib/regctl/drive_record.h"

#include <algorithm>
#include <cstring>

#include "lib/discovery/device_tables.h"
#include "lib/regctl/tool_text.h"

namespace berth {
namespace {

constexpr std::uint32_t kNoService = 255;
constexpr std::uint32_t kProductCaddy = 9;
constexpr std::uint32_t kProductForte = 0;

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool is_caddy(std::string_view report) {
  return contains(report, "Matching - 5") || contains(report, "Matching - 6") || contains(report, "Matching - 7") ||
         contains(report, "Matching - 8");
}

// Copies text up to its first NUL, cut to the field, and NUL-terminates it.
template <std::size_t N>
void copy_text(char (&field)[N], std::string_view text) {
  text = text.substr(0, std::min(text.find('\0'), N - 1));
  std::memset(field, 0, N);
  text.copy(field, text.size());
}

std::uint32_t identifier(DriveMarker marker, bool caddy, std::string_view report) {
  if (marker == DriveMarker::tm6721) return hex_value(report_value(report, "id", 19, 8));
  if (caddy && contains(report, "Matching - 7")) return hex_value(report_value(report, "id", 15, 8));
  return hex_value(report_value(report, "id", 17, 6));
}

}  // namespace

DriveMarker drive_marker(std::string_view output) {
  if (!contains(output, "Matching")) return DriveMarker::none;
  if (contains(output, "tm6721")) return DriveMarker::tm6721;
  if (contains(output, "tm478")) return DriveMarker::tm478;
  return DriveMarker::none;
}

bool holds_report_of(std::uint32_t slot, std::uint32_t unit) {
  if (slot >= kDeviceSlotCount) return false;
  const sDeviceSlot& entry = vtr_device_list[slot];
  // A slot that last held a dock, or another disk's report, holds nothing to keep.
  return entry.valid && entry.dev.is_drive_product && entry.dev.sata_disk[0].bsd_unit == unit;
}

void write_drive_record(std::uint32_t slot, std::uint32_t unit, DriveMarker marker, std::string_view report) {
  if (slot >= kDeviceSlotCount || marker == DriveMarker::none) return;
  sDeviceSlot& entry = vtr_device_list[slot];
  sDevice& dev = entry.dev;
  const bool caddy = is_caddy(report);
  const std::uint32_t location = marker == DriveMarker::tm6721 ? 2 : 1;
  entry.valid = 1;
  dev.is_drive_product = 1;
  dev.dev_kind = marker == DriveMarker::tm6721 ? 3 : 2;
  dev.bus_num = unit;
  dev.dev_num = location;
  dev.fun_num = location;
  dev.service = kNoService;
  dev.service_thunderbolt = kNoService;
  dev.isGUIDValid = 1;
  dev.disk_cnt = 1;
  copy_text(dev.bios_ver, report_value(report, "Version", 12, 12));
  sDiskInfo& disk = dev.sata_disk[0];
  disk.bsd_unit = unit;
  copy_text(disk.model, caddy ? "Zel Caddy" : "Zel Forte");
  copy_text(disk.serial, report_value(report, "SN", 7, 18));
  disk.info_d = decimal_value(report_value(report, "Temperature", 16, 2));
  dev.TB_GUID_high = caddy ? kProductCaddy : kProductForte;
  dev.TB_GUID_low = identifier(marker, caddy, report);
}

}  // namespace berth
