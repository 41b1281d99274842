#include "platform/sim/sim_disk_arbitration.h"

namespace berth::sim {

da_handle_t SimDiskArbitration::take(Kind kind, std::string bsd, SimDisk copy) {
  const da_handle_t handle = next_handle_++;
  held_.emplace(handle, Held{kind, std::move(bsd), std::move(copy)});
  return handle;
}

const SimDiskArbitration::Held* SimDiskArbitration::held(da_handle_t handle, Kind kind) const {
  const auto it = held_.find(handle);
  return it != held_.end() && it->second.kind == kind ? &it->second : nullptr;
}

void SimDiskArbitration::give_back(da_handle_t handle, Kind kind, std::size_t& released) {
  if (!held(handle, kind)) {
    ++counts_.bad_releases;
    return;
  }
  held_.erase(handle);
  ++released;
}

da_handle_t SimDiskArbitration::session_create() {
  if (sessions_fail_) return 0;
  ++counts_.sessions_taken;
  return take(Kind::session, {});
}

void SimDiskArbitration::session_release(da_handle_t session) {
  give_back(session, Kind::session, counts_.sessions_released);
}

da_handle_t SimDiskArbitration::disk_create_from_bsd_name(da_handle_t session, std::string_view bsd_name) {
  ++counts_.lookups;
  if (!held(session, Kind::session)) return 0;
  const SimDisk* disk = model_.find(bsd_name);
  if (!disk) return 0;
  ++counts_.disks_taken;
  return take(Kind::disk, disk->bsd);
}

void SimDiskArbitration::disk_release(da_handle_t disk) { give_back(disk, Kind::disk, counts_.disks_released); }

da_handle_t SimDiskArbitration::disk_copy_description(da_handle_t disk) {
  const Held* object = held(disk, Kind::disk);
  if (!object) return 0;
  const SimDisk* found = model_.find(object->bsd);
  if (!found || !found->has_description) return 0;
  ++counts_.descriptions_taken;
  return take(Kind::description, object->bsd, *found);
}

void SimDiskArbitration::description_release(da_handle_t description) {
  give_back(description, Kind::description, counts_.descriptions_released);
}

std::optional<std::string> SimDiskArbitration::description_value(da_handle_t description, DiskDescriptionKey key) {
  const Held* object = held(description, Kind::description);
  if (!object) return std::nullopt;
  const SimDisk* disk = &object->copy;
  switch (key) {
    case DiskDescriptionKey::media_name:
      return disk->media_name;
    case DiskDescriptionKey::device_node:
      return "/dev/" + disk->bsd;
    case DiskDescriptionKey::volume_name:
      return disk->volume ? disk->volume->name : std::nullopt;
    case DiskDescriptionKey::volume_path:
      return disk->volume ? disk->volume->path : std::nullopt;
  }
  return std::nullopt;
}

// Whole disks first, each followed by its slices, in the machine file's order otherwise.
std::vector<std::string> SimDiskArbitration::bsd_names() {
  std::vector<std::string> names;
  for (const SimDisk& whole : model_.disks()) {
    if (whole.bsd != whole.whole) continue;
    names.push_back(whole.bsd);
    for (const SimDisk& slice : model_.disks())
      if (slice.whole == whole.bsd && slice.bsd != whole.bsd) names.push_back(slice.bsd);
  }
  for (const SimDisk& slice : model_.disks())
    if (!model_.find(slice.whole)) names.push_back(slice.bsd);
  return names;
}

}  // namespace berth::sim
