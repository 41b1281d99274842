#pragma once
// The system disk utility's "list" on Linux, made from the running system's whole disks:
// one entry per block device of sysfs that the unit table names and that has a medium
// (a size above 0; an unused loop device or a card reader's empty slot is no disk; an
// empty optical drive still shows the kernel's placeholder size and is listed), in unit
// order, each headed by its "/dev/diskN" name as drive identification searches for it:
//
//   /dev/disk2 (sdc, physical):
//      0:                                               *2.0 TB     disk2
#include <filesystem>
#include <string>

namespace berth::linux_host {

std::string whole_disk_listing(const std::filesystem::path& sysfs_root);

}  // namespace berth::linux_host
