#include "app/volume_rules.h"

#include <array>
#include <cstring>

#include "app/model/disk_arbitration.h"
#include "platform/services.h"

namespace berth::app {

std::string bsd_device_name(std::uint32_t unit, std::uint32_t slice) {
  return slice == 0 ? format("/dev/disk%u", unit) : format("/dev/disk%us%u", unit, slice);
}

bool is_protected_volume_name(std::string_view name) {
  static constexpr std::array<std::string_view, 4> kProtected{"Recovery HD", "Boot OS X", "BOOTCAMP", "EFI"};
  for (const std::string_view protected_name : kProtected)
    if (name == protected_name) return true;
  return false;
}

bool is_dvd_rom(const char (&media_type)[16]) {
  static constexpr std::string_view kDVDROM = "DVD-ROM";
  return std::strncmp(media_type, kDVDROM.data(), kDVDROM.size()) == 0;
}

std::optional<NamedVolume> named_mounted_volume(const DASession& session, std::uint32_t unit, std::uint32_t slice) {
  const DADisk disk = DADisk::create_from_bsd_name(session, bsd_device_name(unit, slice));
  if (!disk) return std::nullopt;
  const DADiskDescription description = disk.copy_description();
  if (!description) return std::nullopt;
  auto name = description.volume_name();
  if (!name || is_protected_volume_name(*name)) return std::nullopt;
  auto path = description.volume_path();
  if (!path) return std::nullopt;
  return NamedVolume{std::move(*name), std::move(*path)};
}

}  // namespace berth::app
