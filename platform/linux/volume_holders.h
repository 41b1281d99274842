#pragma once
// Which processes hold a mounted file system, as /proc tells: an open file, the working
// directory, the root directory or a mapped file on it. Files are matched by the device
// number of the file system, so deleted files and odd path names count as well.
// Processes this user may not look into are not seen.
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace berth::linux_host {

struct Holder {
  std::string name;  // the process's command name (/proc/PID/comm)
  pid_t pid = 0;
};

// The holders of the file system whose device number is `device`, by ascending pid.
std::vector<Holder> holders_of(dev_t device, const std::filesystem::path& proc_root = "/proc");

// The device number of a /proc/PID/maps line's file ("08:01"); 0 for an anonymous map.
dev_t map_line_device(std::string_view line);

// "sleep (pid 4242), bash (pid 4200)".
std::string describe_holders(std::span<const Holder> holders);

}  // namespace berth::linux_host
