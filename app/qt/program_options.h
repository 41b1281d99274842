#pragma once
// The desktop program's command line: `berthline-utility [machine options] [--syslog]`.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine/machine_choice.h"

namespace berth::qt {

inline constexpr const char* kProgramName = "berthline-utility";
inline constexpr const char* kProgramUsage =
    "usage: berthline-utility [--machine FILE [--live-disks] | --ioreg DUMP | --sysfs ROOT | --demo] [--syslog]\n"
    "  (no option)     run on this computer's docks (the live machine)\n"
    "  --demo          run on the built-in demo machine\n"
    "  --machine FILE  run on the machine described by FILE (--live-disks: with this computer's disks)\n"
    "  --ioreg DUMP    run on the registry of an `ioreg -l` dump\n"
    "  --sysfs ROOT    run live over another sysfs tree\n"
    "  --syslog        copy the system-log lines to standard error\n";

struct ProgramOptions {
  machine::MachineChoice machine;
  bool syslog_to_stderr = false;
  bool help = false;
  std::string error;  // not empty: the command line is wrong, and why
};

ProgramOptions parse_program_options(std::vector<std::string_view> args);

}  // namespace berth::qt
