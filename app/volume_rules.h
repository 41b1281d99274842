#pragma once
// What the menu and the eject share about a disk's volumes: the device names of its
// slices, the volume names never touched, and the medium refused on its own.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace berth::app {

class DASession;

// Slice 0 is the whole disk; slices 1 to 31 follow.
inline constexpr std::uint32_t kSlicesPerDisk = 32;

// "/dev/diskN" for slice 0, "/dev/diskNsK" otherwise.
std::string bsd_device_name(std::uint32_t unit, std::uint32_t slice);
// "Recovery HD", "Boot OS X", "BOOTCAMP" and "EFI", exactly as written.
bool is_protected_volume_name(std::string_view name);
// A medium type whose first seven characters are "DVD-ROM".
bool is_dvd_rom(const char (&media_type)[16]);

struct NamedVolume {
  std::string name;
  std::string path;
};
// The volume on a slice that the menu lists and the eject acts on: it has a name that
// is not protected and a mount path. Nothing when the slice has no such volume.
std::optional<NamedVolume> named_mounted_volume(const DASession& session, std::uint32_t unit, std::uint32_t slice);

}  // namespace berth::app
