#pragma once
// Runs the built berthctl binary and collects what it wrote and how it exited.
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

CommandResult run_berthctl(const std::vector<std::string>& args);
// Writes text to a file of that name in the temporary directory; returns its path.
std::string write_temp(const std::string& name, const std::string& text);

}  // namespace berth::testing
