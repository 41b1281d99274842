#include "platform/sim/disk_model.h"

#include <cctype>

namespace berth::sim {
namespace {

constexpr std::string_view kDevPrefix = "/dev/";

std::string_view without_dev(std::string_view name) {
  if (name.substr(0, kDevPrefix.size()) == kDevPrefix) name.remove_prefix(kDevPrefix.size());
  return name;
}

std::size_t digits_at(std::string_view text, std::size_t pos) {
  std::size_t end = pos;
  while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
  return end - pos;
}

std::optional<std::string> optional_string(const json& object, std::string_view key, std::string_view place) {
  const json* value = find(object, key);
  if (!value) return std::nullopt;
  return require_string(*value, place_of(place, key));
}

bool optional_bool(const json& object, std::string_view key, std::string_view place, bool fallback) {
  const json* value = find(object, key);
  return value ? require_bool(*value, place_of(place, key)) : fallback;
}

bool eject_refused(const json& volume, std::string_view place) {
  const json* value = find(volume, "eject");
  if (!value) return false;
  const std::string text = require_string(*value, place_of(place, "eject"));
  if (text == "ok") return false;
  if (text == "refuse") return true;
  throw MachineFileError(place_of(place, "eject"), "expected \"ok\" or \"refuse\", found \"" + text + "\"");
}

SimVolume volume_from_json(const json& volume, std::string_view place) {
  require_object(volume, place);
  SimVolume result;
  result.name = optional_string(volume, "name", place);
  result.path = optional_string(volume, "path", place);
  if (const json* free = find(volume, "free_bytes"))
    result.free_bytes = require_uint(*free, place_of(place, "free_bytes"), UINT64_MAX);
  result.reachable = optional_bool(volume, "reachable", place, true);
  result.attributes = optional_bool(volume, "attributes", place, true);
  result.refuse_eject = eject_refused(volume, place);
  result.refusal = optional_string(volume, "refusal", place).value_or("");
  return result;
}

SimDisk disk_from_json(const json& disk, std::string_view place) {
  require_object(disk, place);
  SimDisk result;
  const std::string bsd_place = place_of(place, "bsd");
  result.bsd = require_string(require(disk, "bsd", place), bsd_place);
  result.whole = whole_disk_of(result.bsd);
  if (result.whole.empty() || result.bsd.find('/') != std::string::npos)
    throw MachineFileError(bsd_place, "expected a BSD name such as \"disk4\" or \"disk4s2\", found \"" + result.bsd + "\"");
  result.media_name = optional_string(disk, "media_name", place);
  result.has_description = optional_bool(disk, "description", place, true);
  if (const json* volume = find(disk, "volume")) result.volume = volume_from_json(*volume, place_of(place, "volume"));
  return result;
}

}  // namespace

std::string whole_disk_of(std::string_view bsd_name) {
  const std::string_view name = without_dev(bsd_name);
  constexpr std::string_view kDisk = "disk";
  if (name.substr(0, kDisk.size()) != kDisk) return {};
  const std::size_t unit_digits = digits_at(name, kDisk.size());
  if (unit_digits == 0) return {};
  const std::size_t unit_end = kDisk.size() + unit_digits;
  if (unit_end != name.size()) {
    if (name[unit_end] != 's' || digits_at(name, unit_end + 1) == 0 ||
        unit_end + 1 + digits_at(name, unit_end + 1) != name.size())
      return {};
  }
  return std::string(name.substr(0, unit_end));
}

DiskModel DiskModel::from_json(const json& disks, std::string_view place) {
  require_array(disks, place);
  if (disks.size() > kMaxDisks)
    throw MachineFileError(std::string(place), "more than " + std::to_string(kMaxDisks) + " disks");
  DiskModel model;
  // The workspace unmounts by mount path: two volumes at one path would make it
  // unmount a disk that was not asked for, so such a machine is refused.
  std::unordered_map<std::string, std::string> mounted;  // mount path -> BSD name
  for (std::size_t i = 0; i < disks.size(); ++i) {
    const std::string entry_place = place_of(place, i);
    SimDisk disk = disk_from_json(disks[i], entry_place);
    if (!model.by_name_.emplace(disk.bsd, model.disks_.size()).second)
      throw MachineFileError(place_of(entry_place, "bsd"), "\"" + disk.bsd + "\" is listed twice");
    if (disk.volume && disk.volume->path) {
      const auto [other, added] = mounted.emplace(*disk.volume->path, disk.bsd);
      if (!added)
        throw MachineFileError(place_of(place_of(entry_place, "volume"), "path"),
                               "\"" + *disk.volume->path + "\" is also the mount path of " + other->second);
    }
    model.disks_.push_back(std::move(disk));
  }
  return model;
}

const SimDisk* DiskModel::find(std::string_view bsd_name) const {
  const auto it = by_name_.find(std::string(without_dev(bsd_name)));
  return it == by_name_.end() ? nullptr : &disks_[it->second];
}

SimDisk* DiskModel::mounted_at(std::string_view path) {
  for (SimDisk& disk : disks_)
    if (disk.volume && disk.volume->path == path) return &disk;
  return nullptr;
}

void DiskModel::unmount_whole_disk(std::string_view whole) {
  for (SimDisk& disk : disks_)
    if (disk.whole == whole && disk.volume) disk.volume->path.reset();
}

}  // namespace berth::sim
