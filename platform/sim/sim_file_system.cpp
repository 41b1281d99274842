#include "platform/sim/sim_file_system.h"

namespace berth::sim {

bool SimFileSystem::is_reachable(std::string_view path) {
  const SimDisk* disk = model_.mounted_at(path);
  return disk && disk->volume->reachable;
}

std::optional<std::uint64_t> SimFileSystem::free_bytes(std::string_view path) {
  const SimDisk* disk = model_.mounted_at(path);
  if (!disk || !disk->volume->attributes) return std::nullopt;
  return disk->volume->free_bytes;
}

}  // namespace berth::sim
