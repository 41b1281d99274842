// berthctl: the library and the application's flows from the command line, on a
// machine file or on the built-in demo machine.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "cli/commands.h"
#include "cli/demo_machine.h"
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
      {"menu", cmd_menu},
      {"eject", cmd_eject},
      {"flash", cmd_flash},
      {"led", cmd_led},
      {"gpio", cmd_gpio},
      {"i2c", cmd_i2c},
      {"driver-scan", cmd_driver_scan},
  };
  return table;
}

constexpr const char* kUsage =
    "usage: berthctl [--machine FILE | --ioreg FILE] [--trace] [--syslog] COMMAND [ARGS...]\n"
    "commands:\n"
    "  scan [--json]             find the docks in the device registry\n"
    "  menu [--json] [--repeat N]\n"
    "                            open the status menu headless (N times) and print its items\n"
    "  eject --tag TAG [--json]  choose the status-menu item with that tag and run the eject\n"
    "  flash id|version | dump [--out FILE] | program --file FILE [--only-changed]\n"
    "                            the SATA controller's SPI flash (--service N: which controller)\n"
    "  led on|off|blink|unblink --port N\n"
    "                            a SATA status LED (port 0 or 1)\n"
    "  gpio dump                 print the controller's GPIO registers\n"
    "  i2c write ADDR BYTES...   one write transfer on the controller's I2C pins\n"
    "                            (the register tools take --json too)\n"
    "  driver-scan [--json]      the registry scan, then the driver-based scan and drive identification\n"
    "  ioreg-to-machine DUMP [--out FILE]\n"
    "                            write a machine file from an `ioreg -lw0` dump\n"
    "--ioreg FILE runs on the registry of an `ioreg -l` dump instead of a machine file\n";

int fail_usage(const std::string& message) {
  std::fprintf(stderr, "berthctl: %s\n%s", message.c_str(), kUsage);
  return kExitUsage;
}

int run(std::vector<std::string_view> args) {
  const auto machine_path = take_option(args, "--machine");
  const auto ioreg_path = take_option(args, "--ioreg");
  if (machine_path && ioreg_path) return fail_usage("--machine and --ioreg both name the machine; give one");
  const bool trace = take_flag(args, "--trace");
  if (take_flag(args, "--syslog")) static_cast<PosixSystemLog*>(services().system_log)->set_echo_to_stderr(true);
  if (args.empty()) return fail_usage("no command given");
  if (args.front() == "--help" || args.front() == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  const auto command = commands().find(args.front());
  if (command == commands().end()) return fail_usage("unknown command \"" + std::string(args.front()) + "\"");
  args.erase(args.begin());

  CliContext context;
  context.trace = trace;
  try {
    context.machine_file = machine_path ? sim::MachineFile::load(*machine_path) : demo_machine_file();
    context.machine = std::make_unique<sim::SimMachine>(context.machine_file);
  } catch (const sim::MachineFileError& error) {
    std::fprintf(stderr, "berthctl: %s\n",
                 sim::describe(machine_path ? *machine_path : "<demo machine>", error).c_str());
    return kExitUsage;
  }
  if (ioreg_path && !use_dump_machine(context, *ioreg_path)) return kExitUsage;
  context.machine->driver().set_trace(trace);
  ScopedServices installed(context.machine->services(services()));
  return command->second(context, std::move(args));
}

}  // namespace

int main(int argc, char** argv) {
  // An interrupted berthctl takes the drive tools it runs with it.
  berth::kill_child_groups_on_interrupt();
  std::vector<std::string_view> args(argv + 1, argv + argc);
  try {
    return run(std::move(args));
  } catch (const UsageError& error) {
    return fail_usage(error.message);
  } catch (const berth::sim::MachineFileError& error) {
    std::fprintf(stderr, "berthctl: %s\n", berth::sim::describe("machine file", error).c_str());
    return kExitUsage;
  }
}
