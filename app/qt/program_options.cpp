#include "app/qt/program_options.h"

namespace berth::qt {

ProgramOptions parse_program_options(const std::vector<std::string_view>& args) {
  ProgramOptions options;
  for (std::size_t i = 0; i < args.size() && options.error.empty(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--syslog") {
      options.syslog_to_stderr = true;
    } else if (arg == "--machine") {
      if (i + 1 == args.size()) options.error = "--machine needs a file";
      else if (options.machine) options.error = "--machine is given twice";
      else options.machine = std::string(args[++i]);
    } else if (arg.starts_with("--machine=")) {
      options.machine = std::string(arg.substr(10));
    } else {
      options.error = "unknown argument \"" + std::string(arg) + "\"";
    }
  }
  return options;
}

}  // namespace berth::qt
