#include "platform/linux/udisks_disk.h"

#include <algorithm>

namespace berth::linux_host {
namespace {

// Properties UDisks has not sent yet read as null.
std::string_view text(const gchar* value) { return value ? value : ""; }

std::string_view path_of(UDisksObject* object) { return g_dbus_object_get_object_path(G_DBUS_OBJECT(object)); }

std::string whole_disk_of(UDisksObject* object) {
  UDisksPartition* partition = udisks_object_peek_partition(object);
  if (partition) return std::string(text(udisks_partition_get_table(partition)));
  return std::string(path_of(object));
}

std::vector<std::string> mount_points_of(UDisksFilesystem* filesystem) {
  std::vector<std::string> paths;
  const gchar* const* points = udisks_filesystem_get_mount_points(filesystem);
  for (; points && *points; ++points) paths.emplace_back(*points);
  return paths;
}

template <class Visit>
void for_each_object(GList* objects, Visit visit) {
  for (GList* item = objects; item; item = item->next) visit(UDISKS_OBJECT(item->data));
}

}  // namespace

DiskObjects::DiskObjects(UDisksClient* client)
    : objects_(g_dbus_object_manager_get_objects(udisks_client_get_object_manager(client))) {}

UDisksObject* DiskObjects::object_at(std::string_view object_path) const {
  UDisksObject* found = nullptr;
  for_each_object(objects_.get(), [&](UDisksObject* object) {
    if (path_of(object) == object_path) found = object;
  });
  return found;
}

std::string DiskObjects::whole_disk_at(std::string_view mount_path) const {
  std::string whole;
  for_each_object(objects_.get(), [&](UDisksObject* object) {
    UDisksFilesystem* filesystem = udisks_object_peek_filesystem(object);
    if (!filesystem || !whole.empty()) return;
    const auto points = mount_points_of(filesystem);
    if (std::find(points.begin(), points.end(), mount_path) != points.end()) whole = whole_disk_of(object);
  });
  return whole;
}

std::vector<MountedFileSystem> DiskObjects::mounted_on(std::string_view whole_disk, std::string_view chosen) const {
  std::vector<MountedFileSystem> mounted;
  for_each_object(objects_.get(), [&](UDisksObject* object) {
    UDisksFilesystem* filesystem = udisks_object_peek_filesystem(object);
    UDisksBlock* block = udisks_object_peek_block(object);
    if (!filesystem || !block || whole_disk_of(object) != whole_disk) return;
    const auto points = mount_points_of(filesystem);
    if (points.empty()) return;
    mounted.push_back({filesystem, points.front(), static_cast<dev_t>(udisks_block_get_device_number(block))});
  });
  const std::string inside_chosen = std::string(chosen) + "/";
  const auto rank = [&](const MountedFileSystem& m) {
    if (m.mount_path.starts_with(inside_chosen)) return 0;
    return m.mount_path == chosen ? 1 : 2;
  };
  std::stable_sort(mounted.begin(), mounted.end(), [&](const MountedFileSystem& a, const MountedFileSystem& b) {
    if (rank(a) != rank(b)) return rank(a) < rank(b);
    return a.mount_path.size() > b.mount_path.size();
  });
  return mounted;
}

UDisksDrive* DiskObjects::drive_of(std::string_view whole_disk) const {
  UDisksObject* disk = object_at(whole_disk);
  UDisksBlock* block = disk ? udisks_object_peek_block(disk) : nullptr;
  UDisksObject* drive = block ? object_at(text(udisks_block_get_drive(block))) : nullptr;
  return drive ? udisks_object_peek_drive(drive) : nullptr;
}

DriveFacts DiskObjects::facts_of(UDisksDrive* drive) const {
  if (!drive) return {};
  const std::string_view sibling = text(udisks_drive_get_sibling_id(drive));
  int sharing = 0;
  for_each_object(objects_.get(), [&](UDisksObject* object) {
    UDisksDrive* other = udisks_object_peek_drive(object);
    if (other && !sibling.empty() && text(udisks_drive_get_sibling_id(other)) == sibling) ++sharing;
  });
  return {true, udisks_drive_get_can_power_off(drive) != FALSE, udisks_drive_get_ejectable(drive) != FALSE,
          sharing > 1};
}

}  // namespace berth::linux_host
