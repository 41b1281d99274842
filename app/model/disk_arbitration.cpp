#include "app/model/disk_arbitration.h"

#include <utility>

#include "platform/services.h"

namespace berth::app {

DASession DASession::create() {
  DisksPort* disks = services().disks;
  return DASession(disks ? disks->session_create() : 0);
}

DASession::DASession(DASession&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}

DASession::~DASession() {
  if (handle_ != 0 && services().disks) services().disks->session_release(handle_);
}

DADisk DADisk::create_from_bsd_name(const DASession& session, std::string_view bsd_name) {
  DisksPort* disks = services().disks;
  return DADisk(disks && session ? disks->disk_create_from_bsd_name(session.handle(), bsd_name) : 0);
}

DADisk::DADisk(DADisk&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}

DADisk::~DADisk() {
  if (handle_ != 0 && services().disks) services().disks->disk_release(handle_);
}

DADiskDescription DADisk::copy_description() const {
  DisksPort* disks = services().disks;
  return DADiskDescription(disks && handle_ != 0 ? disks->disk_copy_description(handle_) : 0);
}

DADiskDescription::DADiskDescription(DADiskDescription&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}

DADiskDescription::~DADiskDescription() {
  if (handle_ != 0 && services().disks) services().disks->description_release(handle_);
}

std::optional<std::string> DADiskDescription::value(DiskDescriptionKey key) const {
  DisksPort* disks = services().disks;
  if (!disks || handle_ == 0) return std::nullopt;
  return disks->description_value(handle_, key);
}

std::optional<std::string> DADiskDescription::volume_name() const { return value(DiskDescriptionKey::volume_name); }
std::optional<std::string> DADiskDescription::volume_path() const { return value(DiskDescriptionKey::volume_path); }
std::optional<std::string> DADiskDescription::media_name() const { return value(DiskDescriptionKey::media_name); }
std::optional<std::string> DADiskDescription::device_node() const { return value(DiskDescriptionKey::device_node); }

bool check_resource_is_reachable(std::string_view path) {
  FileSystemPort* file_system = services().file_system;
  return file_system && file_system->is_reachable(path);
}

std::optional<std::uint64_t> file_system_free_size(std::string_view path) {
  FileSystemPort* file_system = services().file_system;
  return file_system ? file_system->free_bytes(path) : std::nullopt;
}

EjectResult unmount_and_eject_device_at(std::string_view path) {
  WorkspacePort* workspace = services().workspace;
  return workspace ? workspace->unmount_and_eject(path) : EjectResult{};
}

}  // namespace berth::app
