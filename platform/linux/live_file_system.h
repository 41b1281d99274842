#pragma once
// The running system's file system: a path is reachable when stat finds it, and the
// free bytes are those an ordinary user may still write (statvfs f_bavail in fragments).
#include "platform/file_system_port.h"

namespace berth::linux_host {

class LiveFileSystem final : public FileSystemPort {
 public:
  bool is_reachable(std::string_view path) override;
  std::optional<std::uint64_t> free_bytes(std::string_view path) override;
};

}  // namespace berth::linux_host
