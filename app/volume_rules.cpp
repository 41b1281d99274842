#include "app/volume_rules.h"

#include <array>
#include <cstring>

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

}  // namespace berth::app
