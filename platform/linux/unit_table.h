#pragma once
// The one mapping between Linux block devices and the BSD-style units the library and
// the menu work with ("diskN" for a whole disk, "diskNsK" for its partition K). The
// registry, the disks backend and drive identification all go through it, so a unit
// means the same device everywhere.
//
// The menu and the eject code address a unit as one byte, with 255 meaning "no disk",
// so every device a dock can carry gets a unit below 255 while it exists in ordinary
// numbers; devices beyond those get a unit of 256 or more, which the menu shows as a
// port it cannot eject rather than as another disk's unit:
//
//   sd  (sda, sdb, ..., sdz, sdaa, ...; index i, sda = 0)   i < 128: i       else 1000 + i
//   loopN                                                   N < 64:  128 + N  else 100000 + N
//   srN                                                     N < 32:  192 + N  else 200000 + N
//   nvmeXnY                                                 Y = 1 and X < 31: 224 + X
//                                                           else 300000 + 1000 X + Y (Y < 1000)
//
// Partition K of a disk is slice K: sdc1 = disk2s1, loop0p2 = disk128s2,
// nvme0n1p3 = disk224s3. Optical drives (sr) have no partitions.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace berth::linux_host {

struct BsdUnit {
  std::uint32_t unit = 0;
  std::uint32_t slice = 0;  // 0: the whole disk
};

// "sdc" -> 2, "sdc1" -> 2 slice 1; nothing for a name the table does not cover.
std::optional<BsdUnit> unit_of_kernel_name(std::string_view kernel_name);
// The kernel name of a unit and slice: 2 slice 1 -> "sdc1"; nothing for a unit no
// device can have.
std::optional<std::string> kernel_name_of_unit(BsdUnit unit);

// "disk2s1" (with or without "/dev/") -> 2 slice 1.
std::optional<BsdUnit> parse_bsd_name(std::string_view bsd_name);
// 2 slice 1 -> "disk2s1"; slice 0 -> "disk2".
std::string bsd_name(BsdUnit unit);

}  // namespace berth::linux_host
