#pragma once
// Child processes of a POSIX system: posix_spawn with the standard output on a pipe,
// each child in a process group of its own, waitpid, kill. On Linux the end of a child
// is awaited through a process descriptor, so a wait returns as soon as the child has
// ended.
#include <string>
#include <vector>

#include "platform/processes_port.h"

namespace berth {

class PosixProcesses final : public ProcessesPort {
 public:
  // The descriptor every child finds `shared_file` (a descriptor of the caller's) as.
  static constexpr int kSharedFileDescriptor = 3;

  // `extra_environment` ("NAME=value" entries) is added to what every child inherits;
  // `shared_file`, when not -1, is open in every child as kSharedFileDescriptor.
  explicit PosixProcesses(std::vector<std::string> extra_environment = {}, int shared_file = -1)
      : extra_environment_(std::move(extra_environment)), shared_file_(shared_file) {}

  std::unique_ptr<Task> launch(const std::string& path, std::span<const std::string> arguments) override;

 private:
  std::vector<std::string> extra_environment_;
  int shared_file_;
};

}  // namespace berth
