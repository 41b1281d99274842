#pragma once
// The workspace service: unmounts and ejects the device that holds a mounted volume.
#include <string>
#include <string_view>

namespace berth {

// The workspace's answer: ejected, or refused with the reason the system gave (which
// processes hold the volume, what the system said), empty when it gave none.
struct EjectResult {
  bool ejected = false;
  std::string reason;

  explicit operator bool() const { return ejected; }
};

class WorkspacePort {
 public:
  virtual ~WorkspacePort() = default;
  // Unmounts and ejects the device holding the volume mounted at path. Blocks until the
  // device is ejected or the workspace refused.
  virtual EjectResult unmount_and_eject(std::string_view mount_path) = 0;
};

}  // namespace berth
