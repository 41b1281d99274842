#pragma once
// The mount table as libmount reads it (/proc/self/mountinfo): which block device is
// mounted where. libmount undoes the table's escapes, so "\040" in a path is a blank.
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace berth::linux_host {

struct Mount {
  dev_t device = 0;    // the device number the kernel reports for the mount
  std::string source;  // "/dev/sdc1", or what the file system names instead
  std::string target;  // the mount path, unescaped
  bool whole_tree = true;  // false: a bind mount of a directory inside the file system
};

// Every mount of the table in its order; empty when the table cannot be read.
std::vector<Mount> read_mount_table(const std::filesystem::path& mountinfo = "/proc/self/mountinfo");

// The first mount path of the whole file system on the block device with this number or this /dev path (a file
// system such as btrfs reports a device number of its own, so the source counts too).
std::optional<std::string> mount_path_of(const std::vector<Mount>& table, dev_t device, std::string_view dev_path);

}  // namespace berth::linux_host
