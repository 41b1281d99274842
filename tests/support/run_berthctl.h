#pragma once
// Runs a built program (berthctl unless named) and collects what it wrote and how it exited.
#include <string>
#include <vector>

namespace berth::testing {

struct CommandResult {
  int exit_status = -1;
  std::string out;
  std::string err;
  // The last line of standard output (where --json puts its document).
  std::string last_line() const;
};

// `environment` changes this process's environment: "NAME=value" sets, "NAME" removes.
CommandResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::string>& environment = {});
// berthctl, on the demo machine unless args name another.
CommandResult run_berthctl(const std::vector<std::string>& args);

}  // namespace berth::testing
