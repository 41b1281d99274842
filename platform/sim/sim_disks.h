#pragma once
// The disk side of a simulated machine: the disk model of the "disks" section and the
// three ports that share it (Disk Arbitration, file-system attributes, workspace).
// "disk_arbitration": {"session": "fail"} makes every session creation fail.
#include "platform/sim/disk_model.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/sim_disk_arbitration.h"
#include "platform/sim/sim_file_system.h"
#include "platform/sim/sim_workspace.h"

namespace berth::sim {

class SimDisks {
 public:
  // Throws MachineFileError with the place of a bad value.
  explicit SimDisks(const json& doc);
  SimDisks(const SimDisks&) = delete;
  SimDisks& operator=(const SimDisks&) = delete;

  DiskModel& model() { return model_; }
  SimDiskArbitration& disk_arbitration() { return disk_arbitration_; }
  SimFileSystem& file_system() { return file_system_; }
  SimWorkspace& workspace() { return workspace_; }

 private:
  DiskModel model_;
  SimDiskArbitration disk_arbitration_;
  SimFileSystem file_system_;
  SimWorkspace workspace_;
};

}  // namespace berth::sim
