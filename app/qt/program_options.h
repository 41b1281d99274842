#pragma once
// The desktop program's command line: `berthline-utility [--machine FILE] [--syslog]`.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace berth::qt {

inline constexpr const char* kProgramName = "berthline-utility";
inline constexpr const char* kProgramUsage =
    "usage: berthline-utility [--machine FILE] [--syslog]\n"
    "  --machine FILE  run on the machine described by FILE instead of the built-in demo machine\n"
    "  --syslog        copy the system-log lines to standard error\n";

struct ProgramOptions {
  std::optional<std::string> machine;
  bool syslog_to_stderr = false;
  bool help = false;
  std::string error;  // not empty: the command line is wrong, and why
};

ProgramOptions parse_program_options(const std::vector<std::string_view>& args);

}  // namespace berth::qt
