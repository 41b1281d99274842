#pragma once
// Block devices as sysfs shows them under a root ("/sys" on the running system, a
// fixture tree in tests): whole disks in block/, their partitions below each, every one
// named by its unit from the unit table.
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

#include "platform/linux/unit_table.h"

namespace berth::linux_host {

struct BlockDevice {
  std::string kernel_name;  // "loop0p1"
  std::string whole;        // the whole disk's kernel name, "loop0"
  BsdUnit unit;
  dev_t device = 0;  // from the "dev" attribute; 0 when sysfs gives none
};

// Every whole disk and partition the unit table covers, ordered by unit, each whole disk
// before its partitions. A loop device with nothing attached is no disk.
std::vector<BlockDevice> block_devices(const std::filesystem::path& sysfs_root);
// The whole disk or partition of this unit, when it exists.
std::optional<BlockDevice> block_device(const std::filesystem::path& sysfs_root, BsdUnit unit);
// The drive's vendor and model as the kernel reports them ("ATA Samsung SSD 860"),
// trimmed; nothing when it reports neither.
std::optional<std::string> media_name(const std::filesystem::path& sysfs_root, std::string_view whole);

}  // namespace berth::linux_host
