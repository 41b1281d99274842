#pragma once
// The workspace of whatever machine berthctl runs on, with a record of the mount paths
// it accepted to unmount and eject, in call order, and how many it refused: what
// `eject` reports and its exit status.
#include <string>
#include <vector>

#include "platform/workspace_port.h"

namespace berth::cli {

class RecordingWorkspace final : public WorkspacePort {
 public:
  explicit RecordingWorkspace(WorkspacePort& inner) : inner_(inner) {}

  EjectResult unmount_and_eject(std::string_view mount_path) override {
    EjectResult result = inner_.unmount_and_eject(mount_path);
    if (result.ejected) unmounted_.emplace_back(mount_path);
    else ++refused_;
    return result;
  }
  const std::vector<std::string>& unmounted() const { return unmounted_; }
  // Refusals count even when a later eject took the refused volume's disk along: the
  // user was told it failed, and the caller must not hear otherwise.
  std::size_t refused() const { return refused_; }

 private:
  WorkspacePort& inner_;
  std::vector<std::string> unmounted_;
  std::size_t refused_ = 0;
};

}  // namespace berth::cli
