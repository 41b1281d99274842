#pragma once
// Disk Arbitration, file-system attributes and the workspace's unmount-and-eject, as
// owning wrappers over the ports: every session, disk object and description taken is
// given back when its wrapper goes.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/disks_port.h"
#include "platform/workspace_port.h"

namespace berth::app {

class DASession {
 public:
  static DASession create();  // DASessionCreate
  DASession(DASession&& other) noexcept;
  DASession& operator=(DASession&&) = delete;
  ~DASession();
  explicit operator bool() const { return handle_ != 0; }
  da_handle_t handle() const { return handle_; }

 private:
  explicit DASession(da_handle_t handle) : handle_(handle) {}
  da_handle_t handle_;
};

class DADiskDescription {
 public:
  DADiskDescription(DADiskDescription&& other) noexcept;
  DADiskDescription& operator=(DADiskDescription&&) = delete;
  ~DADiskDescription();
  explicit operator bool() const { return handle_ != 0; }
  std::optional<std::string> volume_name() const;
  std::optional<std::string> volume_path() const;  // the path of the volume-path URL
  std::optional<std::string> media_name() const;
  std::optional<std::string> device_node() const;

 private:
  friend class DADisk;
  explicit DADiskDescription(da_handle_t handle) : handle_(handle) {}
  std::optional<std::string> value(DiskDescriptionKey key) const;
  da_handle_t handle_;
};

class DADisk {
 public:
  static DADisk create_from_bsd_name(const DASession& session, std::string_view bsd_name);
  DADisk(DADisk&& other) noexcept;
  DADisk& operator=(DADisk&&) = delete;
  ~DADisk();
  explicit operator bool() const { return handle_ != 0; }
  DADiskDescription copy_description() const;

 private:
  explicit DADisk(da_handle_t handle) : handle_(handle) {}
  da_handle_t handle_;
};

// The file manager's view of a path.
bool check_resource_is_reachable(std::string_view path);
// NSFileSystemFreeSize of the file system at path; nothing when its attributes cannot be read.
std::optional<std::uint64_t> file_system_free_size(std::string_view path);
// The workspace's unmount and eject of the device holding the volume at path; a refusal
// carries the reason the system gave.
EjectResult unmount_and_eject_device_at(std::string_view path);

}  // namespace berth::app
