#include "platform/sim/sim_workspace.h"

namespace berth::sim {

EjectResult SimWorkspace::unmount_and_eject(std::string_view mount_path) {
  SimDisk* disk = model_.mounted_at(mount_path);
  const bool accepted = disk && !disk->volume->refuse_eject;
  calls_.push_back({std::string(mount_path), accepted});
  if (accepted) model_.unmount_whole_disk(std::string(disk->whole));
  return {accepted, disk && !accepted ? disk->volume->refusal : std::string()};
}

std::vector<std::string> SimWorkspace::unmounted() const {
  std::vector<std::string> paths;
  for (const WorkspaceCall& call : calls_)
    if (call.accepted) paths.push_back(call.path);
  return paths;
}

}  // namespace berth::sim
