#include "platform/linux/disk_listing.h"

#include <fstream>
#include <map>

#include "platform/linux/unit_table.h"
#include "platform/services.h"

namespace berth::linux_host {
namespace {

constexpr std::uint64_t kSectorBytes = 512;  // sysfs counts a block device's size in these

std::uint64_t size_in_bytes(const std::filesystem::path& device) {
  std::ifstream in(device / "size");
  std::uint64_t sectors = 0;
  return in >> sectors ? sectors * kSectorBytes : 0;
}

// Decimal units, as the disk utility prints sizes.
std::string size_text(std::uint64_t bytes) {
  constexpr const char* kUnits[] = {"B", "KB", "MB", "GB", "TB", "PB"};
  double value = static_cast<double>(bytes);
  std::size_t unit = 0;
  while (value >= 1000.0 && unit + 1 < std::size(kUnits)) {
    value /= 1000.0;
    ++unit;
  }
  return format("%.1f %s", value, kUnits[unit]);
}

}  // namespace

std::string whole_disk_listing(const std::filesystem::path& sysfs_root) {
  std::map<std::uint32_t, std::string> disks;  // unit -> entry
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(sysfs_root / "block", error)) {
    const std::string name = entry.path().filename().string();
    const auto unit = unit_of_kernel_name(name);
    const std::uint64_t bytes = size_in_bytes(entry.path());
    if (!unit || unit->slice != 0 || bytes == 0) continue;
    const std::string bsd = bsd_name(*unit);
    disks[unit->unit] = format("/dev/%s (%s, physical):\n   0:%48s *%-10s %s\n", bsd.c_str(), name.c_str(), "",
                               size_text(bytes).c_str(), bsd.c_str());
  }
  std::string listing;
  for (const auto& [unit, text] : disks) listing += text;
  return listing;
}

}  // namespace berth::linux_host
