#pragma once
// Disk Arbitration over the running Linux system: whole disks and partitions by the BSD
// names of the unit table, the media name from sysfs, the volume name from the file
// system's label (udev's record of it) and the volume path from the mount table. A
// description is what the system showed when it was copied, as Disk Arbitration's is.
// Every session, disk object and description taken is counted until given back.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>

#include "platform/disks_port.h"
#include "platform/linux/unit_table.h"
#include "platform/linux/udev_label.h"

namespace berth::linux_host {

// The file-system label of a block device by its number; nothing when it has none.
using LabelReader = std::function<std::optional<std::string>(dev_t)>;

class LiveDisks final : public DisksPort {
 public:
  explicit LiveDisks(std::filesystem::path sysfs_root = "/sys",
                     std::filesystem::path mountinfo = "/proc/self/mountinfo", LabelReader labels = udev_fs_label);

  da_handle_t session_create() override;
  void session_release(da_handle_t session) override;
  da_handle_t disk_create_from_bsd_name(da_handle_t session, std::string_view bsd_name) override;
  void disk_release(da_handle_t disk) override;
  da_handle_t disk_copy_description(da_handle_t disk) override;
  void description_release(da_handle_t description) override;
  std::optional<std::string> description_value(da_handle_t description, DiskDescriptionKey key) override;
  std::vector<std::string> bsd_names() override;

  // Handles taken and not given back yet.
  std::size_t held() const { return held_.size(); }

 private:
  enum class Kind { session, disk, description };
  struct Description {
    std::optional<std::string> volume_name;
    std::optional<std::string> volume_path;
    std::optional<std::string> media_name;
    std::string device_node;
  };
  struct Held {
    Kind kind;
    BsdUnit unit;             // disk objects: the disk or slice
    Description description;  // descriptions: what was seen at the copy
  };

  da_handle_t take(Held held);
  const Held* find(da_handle_t handle, Kind kind) const;
  void give_back(da_handle_t handle, Kind kind);
  std::optional<Description> describe(BsdUnit unit) const;

  std::filesystem::path sysfs_root_;
  std::filesystem::path mountinfo_;
  LabelReader labels_;
  da_handle_t next_handle_ = 1;
  std::map<da_handle_t, Held> held_;
};

}  // namespace berth::linux_host
