#pragma once
// Child processes of a POSIX system: posix_spawn with the standard output on a pipe,
// waitpid, kill. On Linux the end of a child is awaited through a process descriptor,
// so a wait returns as soon as the child has ended.
#include <string>
#include <vector>

#include "platform/processes_port.h"

namespace berth {

class PosixProcesses final : public ProcessesPort {
 public:
  // `extra_environment` ("NAME=value" entries) is added to what every child inherits.
  explicit PosixProcesses(std::vector<std::string> extra_environment = {})
      : extra_environment_(std::move(extra_environment)) {}

  std::unique_ptr<Task> launch(const std::string& path, std::span<const std::string> arguments) override;

 private:
  std::vector<std::string> extra_environment_;
};

}  // namespace berth
