#pragma once
// The workspace service: unmounts and ejects the device that holds a mounted volume.
#include <string_view>

namespace berth {

class WorkspacePort {
 public:
  virtual ~WorkspacePort() = default;
  // True when the device holding the volume mounted at path was unmounted and ejected;
  // false when the workspace refused. Blocks until one or the other.
  virtual bool unmount_and_eject(std::string_view mount_path) = 0;
};

}  // namespace berth
