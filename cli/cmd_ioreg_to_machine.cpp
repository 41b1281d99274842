// berthctl ioreg-to-machine: a machine file from a registry dump (what `ioreg -lw0`
// prints on a real machine), so that a user's dump becomes a test machine.
#include "cli/commands.h"
#include "platform/services.h"
#include "platform/sim/ioreg_dump.h"

namespace berth::cli {
namespace {

std::optional<sim::RegistryModel> read_dump(const std::string& path) {
  try {
    return sim::load_ioreg_dump(path);
  } catch (const sim::IoregDumpError& error) {
    print_error(sim::describe(path, error));
    return std::nullopt;
  }
}

}  // namespace

int cmd_ioreg_to_machine(CliContext&, std::vector<std::string_view> args) {
  const auto out = take_option(args, "--out");
  if (args.size() != 1 || args.front().starts_with("--"))
    throw UsageError{"ioreg-to-machine takes one dump file (and --out FILE)"};
  const std::string path(args.front());
  const auto registry = read_dump(path);
  if (!registry) return kExitUsage;
  return write_machine_file(*registry, out);
}

}  // namespace berth::cli
