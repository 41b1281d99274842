// berthctl ioreg-to-machine: a machine file from a registry dump (what `ioreg -lw0`
// prints on a real machine), so that a user's dump becomes a test machine; and the
// machine that `berthctl --ioreg FILE` runs on.
#include <fstream>

#include "cli/commands.h"
#include "platform/services.h"
#include "platform/sim/ioreg_dump.h"
#include "platform/sim/registry_json.h"

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

// Dumps print text as the machine had it, which need not be UTF-8; JSON must be, so
// such bytes become U+FFFD (the scan reads only plain ASCII text anyway).
std::string machine_file_text(const sim::RegistryModel& registry) {
  const sim::json document{{"registry", sim::registry_to_json(registry)}};
  return document.dump(2, ' ', false, sim::json::error_handler_t::replace) + "\n";
}

}  // namespace

bool use_dump_machine(CliContext& context, const std::string& path) {
  auto registry = read_dump(path);
  if (!registry) return false;
  context.machine_file = sim::MachineFile::parse("{}", path, std::filesystem::path(path).parent_path());
  context.machine = std::make_unique<sim::SimMachine>(context.machine_file, std::move(*registry));
  return true;
}

int cmd_ioreg_to_machine(CliContext&, std::vector<std::string_view> args) {
  const auto out = take_option(args, "--out");
  if (args.size() != 1 || args.front().starts_with("--"))
    throw UsageError{"ioreg-to-machine takes one dump file (and --out FILE)"};
  const std::string path(args.front());
  const auto registry = read_dump(path);
  if (!registry) return kExitUsage;
  const std::string text = machine_file_text(*registry);
  if (!out) {
    write_out(text);
    return kExitOk;
  }
  std::ofstream file(*out, std::ios::binary);
  file << text;
  file.close();
  if (!file) {
    write_err("berthctl: " + *out + ": cannot write the machine file\n");
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace berth::cli
