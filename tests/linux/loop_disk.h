#pragma once
// Real block devices for tests of the live backends: a loop device over an image file in
// the test's own directory, with ext4 file systems carrying the labels asked for, each
// mounted through UDisks. The destructor takes away what it made (the mounts, then the
// loop device), also after a failed test, and never touches any other device.
#include <filesystem>
#include <optional>
#include <string>
#include <udisks/udisks.h>
#include <vector>

#include "platform/linux/unit_table.h"

namespace berth::testing {

// Why the live services cannot be used here (not root, no loop devices, UDisks not
// answering); nothing when they can. The tests skip with this reason, or fail when
// BERTH_REQUIRE_LIVE_SERVICES=1 (as CI sets it).
std::optional<std::string> live_services_missing(UDisksClient* client);
bool live_services_required();

class LoopDisk {
 public:
  // One label: a file system on the whole disk. More: a partition table with one
  // partition per label.
  LoopDisk(UDisksClient* client, const std::filesystem::path& dir, const std::vector<std::string>& labels);
  ~LoopDisk();
  LoopDisk(const LoopDisk&) = delete;
  LoopDisk& operator=(const LoopDisk&) = delete;

  linux_host::BsdUnit unit() const { return unit_; }
  std::string bsd_name(std::uint32_t slice) const { return linux_host::bsd_name({unit_.unit, slice}); }
  // Where UDisks mounted file system i.
  const std::vector<std::string>& mount_paths() const { return mount_paths_; }

 private:
  std::string mount(const std::string& device);

  UDisksClient* client_;
  std::string device_;  // "/dev/loop3"; empty when losetup failed
  linux_host::BsdUnit unit_;
  std::vector<std::string> mount_paths_;
};

// Whether the mount table has something mounted at path.
bool is_mounted(const std::string& path);

}  // namespace berth::testing
