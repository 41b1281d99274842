#include "app/qt/program_options.h"

namespace berth::qt {

ProgramOptions parse_program_options(std::vector<std::string_view> args) {
  ProgramOptions options;
  auto choice = machine::take_machine_options(args);
  if (const auto* error = std::get_if<std::string>(&choice)) {
    options.error = *error;
    return options;
  }
  options.machine = std::get<machine::MachineChoice>(choice);
  for (const std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") options.help = true;
    else if (arg == "--syslog") options.syslog_to_stderr = true;
    else if (options.error.empty()) options.error = "unknown argument \"" + std::string(arg) + "\"";
  }
  return options;
}

}  // namespace berth::qt
