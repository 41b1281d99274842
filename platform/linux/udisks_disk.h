#pragma once
// One look at UDisks' objects, to find the whole disk that holds a mounted volume, the
// mounted file systems of that disk and its drive. Objects are named by D-Bus object
// path; a whole disk is the block device itself or, for a partition, its partition table.
#include <string>
#include <string_view>
#include <sys/types.h>
#include <udisks/udisks.h>
#include <vector>

#include "platform/linux/eject_decision.h"
#include "platform/linux/glib_ptr.h"

namespace berth::linux_host {

struct MountedFileSystem {
  UDisksFilesystem* filesystem = nullptr;  // held by the DiskObjects it came from
  std::string mount_path;                  // its first mount point
  dev_t device = 0;                        // the block device's number
};

class DiskObjects {
 public:
  explicit DiskObjects(UDisksClient* client);

  // The object path of the whole disk of the file system mounted at path; empty when no
  // file system UDisks knows is mounted there.
  std::string whole_disk_at(std::string_view mount_path) const;
  // The mounted file systems of that whole disk in the order to unmount them: the one
  // mounted at `chosen` first (after any mounted inside it), then the others; a file
  // system mounted inside another always before it.
  std::vector<MountedFileSystem> mounted_on(std::string_view whole_disk, std::string_view chosen) const;
  // The drive of the whole disk; null for a disk without one (a loop device).
  UDisksDrive* drive_of(std::string_view whole_disk) const;
  DriveFacts facts_of(UDisksDrive* drive) const;

 private:
  UDisksObject* object_at(std::string_view object_path) const;

  GObjectListPtr objects_;
};

}  // namespace berth::linux_host
