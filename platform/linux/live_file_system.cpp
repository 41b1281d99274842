#include "platform/linux/live_file_system.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <string>

namespace berth::linux_host {

bool LiveFileSystem::is_reachable(std::string_view path) {
  struct stat status {};
  return !path.empty() && ::stat(std::string(path).c_str(), &status) == 0;
}

std::optional<std::uint64_t> LiveFileSystem::free_bytes(std::string_view path) {
  struct statvfs attributes {};
  if (path.empty() || ::statvfs(std::string(path).c_str(), &attributes) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(attributes.f_bavail) * attributes.f_frsize;
}

}  // namespace berth::linux_host
