#pragma once
// The workspace's unmount-and-eject over the simulated disks: ejecting a volume ejects
// its whole disk, so every slice of that disk becomes unmounted. Every call is recorded.
#include <string>
#include <vector>

#include "platform/sim/disk_model.h"
#include "platform/workspace_port.h"

namespace berth::sim {

struct WorkspaceCall {
  std::string path;
  bool accepted;
};

class SimWorkspace final : public WorkspacePort {
 public:
  explicit SimWorkspace(DiskModel& model) : model_(model) {}
  EjectResult unmount_and_eject(std::string_view mount_path) override;

  const std::vector<WorkspaceCall>& calls() const { return calls_; }
  // The paths the workspace accepted, in call order.
  std::vector<std::string> unmounted() const;

 private:
  DiskModel& model_;
  std::vector<WorkspaceCall> calls_;
};

}  // namespace berth::sim
