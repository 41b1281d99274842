#pragma once
// Disk Arbitration as the menu and eject code need it: a session, a disk object by BSD
// name and that disk's description. Every session, disk object and description taken is
// given back with the matching release call.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace berth {

using da_handle_t = std::uint32_t;  // a session, disk object or description; 0 is none

enum class DiskDescriptionKey {
  volume_name,  // the volume's name; absent when the slice holds no named volume
  volume_path,  // the mount path (the path of the volume-path URL); absent when not mounted
  media_name,   // the medium's name
  device_node,  // the node the system names the disk or slice by ("/dev/sdc1", "/dev/disk4s1")
};

class DisksPort {
 public:
  virtual ~DisksPort() = default;
  virtual da_handle_t session_create() = 0;
  virtual void session_release(da_handle_t session) = 0;
  // A disk object for "diskN" or "diskNsK" (a "/dev/" prefix is allowed); 0 when the
  // session knows no such disk or slice.
  virtual da_handle_t disk_create_from_bsd_name(da_handle_t session, std::string_view bsd_name) = 0;
  virtual void disk_release(da_handle_t disk) = 0;
  virtual da_handle_t disk_copy_description(da_handle_t disk) = 0;
  virtual void description_release(da_handle_t description) = 0;
  virtual std::optional<std::string> description_value(da_handle_t description, DiskDescriptionKey key) = 0;
  // The BSD names of every whole disk and slice the system knows now ("disk4",
  // "disk4s1", ...), each whole disk before its slices; no session is needed.
  virtual std::vector<std::string> bsd_names() = 0;
};

}  // namespace berth
