#pragma once
// File-system answers for the mount paths of the simulated volumes. The sim never looks
// at this machine's own file system: a path is known only as a mounted volume's path.
#include "platform/file_system_port.h"
#include "platform/sim/disk_model.h"

namespace berth::sim {

class SimFileSystem final : public FileSystemPort {
 public:
  explicit SimFileSystem(DiskModel& model) : model_(model) {}
  bool is_reachable(std::string_view path) override;
  std::optional<std::uint64_t> free_bytes(std::string_view path) override;

 private:
  DiskModel& model_;
};

}  // namespace berth::sim
