#pragma once
// The disks of a simulated machine, from the machine file's "disks" section: whole
// disks and slices by BSD name, each with an optional volume. Disk Arbitration, the
// file-system attributes and the workspace all read and change this one model, so an
// eject is seen by the next Disk Arbitration query.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/sim/machine_file.h"

namespace berth::sim {

struct SimVolume {
  std::optional<std::string> name;
  std::optional<std::string> path;  // the mount path; none: not mounted
  std::uint64_t free_bytes = 0;
  bool reachable = true;
  bool attributes = true;
  bool refuse_eject = false;
  std::string refusal;  // the reason a refusal carries; empty: none given
};

struct SimDisk {
  std::string bsd;    // "disk4" or "disk4s2"
  std::string whole;  // the whole disk's BSD name, "disk4"
  std::optional<std::string> media_name;
  bool has_description = true;  // false: copying the description fails
  std::optional<SimVolume> volume;
};

// Far more than a machine attaches; a longer list is refused.
inline constexpr std::size_t kMaxDisks = 100000;

class DiskModel {
 public:
  DiskModel() = default;
  // Throws MachineFileError with the place of a bad value, a name listed twice, or a
  // mount path that two volumes share.
  static DiskModel from_json(const json& disks, std::string_view place);

  // The disk or slice with this BSD name ("/dev/" prefix allowed).
  const SimDisk* find(std::string_view bsd_name) const;
  // The disk whose volume is mounted at path.
  SimDisk* mounted_at(std::string_view path);
  // Unmounts every slice of the whole disk (the volume keeps its name).
  void unmount_whole_disk(std::string_view whole);
  const std::vector<SimDisk>& disks() const { return disks_; }

 private:
  std::vector<SimDisk> disks_;
  std::unordered_map<std::string, std::size_t> by_name_;  // BSD name -> index in disks_
};

// "disk4s2" -> "disk4"; empty when the name is not a BSD disk name.
std::string whole_disk_of(std::string_view bsd_name);

}  // namespace berth::sim
