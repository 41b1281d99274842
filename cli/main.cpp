// berthctl: the library and the application's flows from the command line, on the
// live machine, a machine file, a registry dump or the built-in demo machine.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "cli/commands.h"
#include "platform/machine/machine.h"
#include "platform/posix/posix_console.h"
#include "platform/posix/posix_processes.h"
#include "cli/refusal_exit.h"
#include "platform/posix/child_groups.h"
#include "platform/posix/posix_system_log.h"
#include "platform/services.h"

namespace {

using namespace berth;
using namespace berth::cli;

using Command = int (*)(CliContext&, std::vector<std::string_view>);

const std::map<std::string_view, Command>& commands() {
  static const std::map<std::string_view, Command> table{
      {"scan", cmd_scan},
      {"ioreg-to-machine", cmd_ioreg_to_machine},
      {"sysfs-to-machine", cmd_sysfs_to_machine},
      {"menu", cmd_menu},
      {"eject", cmd_eject},
      {"flash", cmd_flash},
      {"led", cmd_led},
      {"gpio", cmd_gpio},
      {"i2c", cmd_i2c},
      {"driver-scan", cmd_driver_scan},
      {"volumes", cmd_volumes},
  };
  return table;
}

constexpr const char* kUsage =
    "usage: berthctl [--machine FILE [--live-disks] | --ioreg DUMP | --sysfs ROOT | --demo] [--trace] [--syslog]\n"
    "                COMMAND [ARGS...]\n"
    "commands:\n"
    "  scan [--json]             find the docks in the device registry\n"
    "  menu [--json] [--repeat N]\n"
    "                            open the status menu headless (N times) and print its items\n"
    "  eject --tag TAG [--json]  choose the status-menu item with that tag and run the eject\n"
    "  flash id|version | dump [--out FILE] | program --file FILE [--only-changed] [--backup FILE]\n"
    "                            the SATA controller's SPI flash (--service N: which controller)\n"
    "  led on|off|blink|unblink --port N\n"
    "                            a SATA status LED (port 0 or 1)\n"
    "  gpio dump                 print the controller's GPIO registers\n"
    "  i2c write ADDR BYTES...   one write transfer on the controller's I2C pins\n"
    "                            (the register tools take --json too)\n"
    "  driver-scan [--json]      the registry scan, then the driver-based scan and drive identification\n"
    "  volumes [--json]          the disks, their volumes, mount paths, free space and dock ports\n"
    "  ioreg-to-machine DUMP [--out FILE]\n"
    "                            write a machine file from an `ioreg -lw0` dump\n"
    "  sysfs-to-machine [--out FILE]\n"
    "                            write a machine file from this Linux machine's sysfs (or --sysfs ROOT)\n"
    "Without a machine option berthctl runs on this computer (the live machine, /sys);\n"
    "--demo runs on the built-in demo machine, --machine FILE on a machine file, --ioreg DUMP\n"
    "on the registry of an `ioreg -l` dump, --sysfs ROOT live over another sysfs tree.\n";

int fail_usage(const std::string& message) {
  print_error(message);
  write_err(kUsage);
  return kExitUsage;
}

int run(std::vector<std::string_view> args, PosixSystemLog& system_log) {
  auto choice = machine::take_machine_options(args);
  if (const auto* error = std::get_if<std::string>(&choice)) return fail_usage(*error);
  const bool trace = take_flag(args, "--trace");
  system_log.set_echo_to_stderr(take_flag(args, "--syslog"));
  if (args.empty()) return fail_usage("no command given");
  if (args.front() == "--help" || args.front() == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  const auto command = commands().find(args.front());
  if (command == commands().end()) return fail_usage("unknown command \"" + std::string(args.front()) + "\"");
  args.erase(args.begin());

  std::optional<JsonOnlyStdout> json_only;
  if (std::find(args.begin(), args.end(), "--json") != args.end()) json_only.emplace();
  CliContext context;
  context.trace = trace;
  try {
    context.machine = machine::Machine::open(std::get<machine::MachineChoice>(choice), machine::find_host_paths());
  } catch (const machine::MachineError& error) {
    print_error(error.what());
    return kExitUsage;
  }
  context.machine->set_trace(trace);
  ScopedServices installed(context.machine->services(services()));
  const int status = command->second(context, std::move(args));
  return with_refusal_status(context, status);
}

}  // namespace

int main(int argc, char** argv) {
  // An interrupted berthctl takes the drive tools it runs with it.
  berth::kill_child_groups_on_interrupt();
  std::vector<std::string_view> args(argv + 1, argv + argc);
  // The program's own console, system log and child processes, under every machine.
  berth::PosixConsole console;
  berth::PosixSystemLog system_log;
  berth::PosixProcesses processes;
  berth::Services base;
  base.console = &console;
  base.system_log = &system_log;
  base.processes = &processes;
  berth::ScopedServices installed(base);
  try {
    return run(std::move(args), system_log);
  } catch (const UsageError& error) {
    return fail_usage(error.message);
  } catch (const berth::sim::MachineFileError& error) {
    print_error(berth::sim::describe("machine file", error));
    return kExitUsage;
  } catch (const std::exception& error) {
    // Nothing may end the program with an uncaught exception (an abort, and for the
    // caller an unexplained status): one line, and the status of a refused input.
    print_error(std::string("cannot go on: ") + error.what());
    return kExitUsage;
  } catch (...) {
    print_error("cannot go on: an unexpected error");
    return kExitUsage;
  }
}
