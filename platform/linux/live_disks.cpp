#include "platform/linux/live_disks.h"

#include "platform/linux/mount_table.h"
#include "platform/linux/block_devices.h"

namespace berth::linux_host {
namespace {

// Desktops name a mounted file system without a label by its mount directory, so a
// port still gets a title.
std::string name_of_mount_directory(const std::string& path) {
  const std::string last = std::filesystem::path(path).filename().string();
  return last.empty() ? path : last;
}

}  // namespace

LiveDisks::LiveDisks(std::filesystem::path sysfs_root, std::filesystem::path mountinfo, LabelReader labels)
    : sysfs_root_(std::move(sysfs_root)), mountinfo_(std::move(mountinfo)), labels_(std::move(labels)) {}

da_handle_t LiveDisks::take(Held held) {
  const da_handle_t handle = next_handle_++;
  held_.emplace(handle, std::move(held));
  return handle;
}

const LiveDisks::Held* LiveDisks::find(da_handle_t handle, Kind kind) const {
  const auto it = held_.find(handle);
  return it != held_.end() && it->second.kind == kind ? &it->second : nullptr;
}

// A handle that is not held (given back twice, or never taken) is ignored.
void LiveDisks::give_back(da_handle_t handle, Kind kind) {
  if (find(handle, kind)) held_.erase(handle);
}

da_handle_t LiveDisks::session_create() { return take({Kind::session, {}, {}}); }

void LiveDisks::session_release(da_handle_t session) { give_back(session, Kind::session); }

da_handle_t LiveDisks::disk_create_from_bsd_name(da_handle_t session, std::string_view bsd_name) {
  if (!find(session, Kind::session)) return 0;
  const auto unit = parse_bsd_name(bsd_name);
  if (!unit || !block_device(sysfs_root_, *unit)) return 0;
  return take({Kind::disk, *unit, {}});
}

void LiveDisks::disk_release(da_handle_t disk) { give_back(disk, Kind::disk); }

std::optional<LiveDisks::Description> LiveDisks::describe(BsdUnit unit) const {
  const auto device = block_device(sysfs_root_, unit);
  if (!device) return std::nullopt;
  Description description;
  description.device_node = "/dev/" + device->kernel_name;
  description.media_name = media_name(sysfs_root_, device->whole);
  description.volume_path = mount_path_of(read_mount_table(mountinfo_), device->device, description.device_node);
  description.volume_name = device->device != 0 && labels_ ? labels_(device->device) : std::nullopt;
  if (!description.volume_name && description.volume_path)
    description.volume_name = name_of_mount_directory(*description.volume_path);
  return description;
}

da_handle_t LiveDisks::disk_copy_description(da_handle_t disk) {
  const Held* object = find(disk, Kind::disk);
  if (!object) return 0;
  auto description = describe(object->unit);
  if (!description) return 0;
  return take({Kind::description, object->unit, std::move(*description)});
}

void LiveDisks::description_release(da_handle_t description) { give_back(description, Kind::description); }

std::optional<std::string> LiveDisks::description_value(da_handle_t description, DiskDescriptionKey key) {
  const Held* object = find(description, Kind::description);
  if (!object) return std::nullopt;
  switch (key) {
    case DiskDescriptionKey::volume_name:
      return object->description.volume_name;
    case DiskDescriptionKey::volume_path:
      return object->description.volume_path;
    case DiskDescriptionKey::media_name:
      return object->description.media_name;
    case DiskDescriptionKey::device_node:
      return object->description.device_node;
  }
  return std::nullopt;
}

std::vector<std::string> LiveDisks::bsd_names() {
  std::vector<std::string> names;
  for (const BlockDevice& device : block_devices(sysfs_root_)) names.push_back(bsd_name(device.unit));
  return names;
}

}  // namespace berth::linux_host
