#pragma once
// Drive identification's outside programs on Linux. The system disk utility does not
// exist here: its "list" is answered from sysfs (disk_listing.h) without a child
// process. The maker's drive tools are real programs; they get the real device node
// ("/dev/sdc") where drive identification names the unit ("/dev/disk2"), translated
// through the unit table, and are started by the processes port given.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/processes_port.h"

namespace berth::linux_host {

class LinuxDriveTools final : public ProcessesPort {
 public:
  // `disk_utility` is the path drive identification runs for the listing (the resources
  // port's system utility directory followed by "/diskutil").
  LinuxDriveTools(std::filesystem::path sysfs_root, std::string disk_utility, ProcessesPort& children)
      : root_(std::move(sysfs_root)), disk_utility_(std::move(disk_utility)), children_(children) {}

  // Nothing, without starting anything, when an argument names a unit no device has.
  std::unique_ptr<Task> launch(const std::string& path, std::span<const std::string> arguments) override;

 private:
  std::filesystem::path root_;
  std::string disk_utility_;
  ProcessesPort& children_;
};

// "/dev/disk2" -> "/dev/sdc", "/dev/disk2s1" -> "/dev/sdc1"; any text that is not a unit's
// device path is returned as it is; nothing for a unit no device can have.
std::optional<std::string> device_node_of(std::string_view argument);

}  // namespace berth::linux_host
