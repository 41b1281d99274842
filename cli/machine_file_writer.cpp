// The machine file that ioreg-to-machine and sysfs-to-machine write from a registry.
#include <fstream>

#include "cli/commands.h"
#include "platform/services.h"
#include "platform/sim/registry_json.h"

namespace berth::cli {

int write_machine_file(const sim::RegistryModel& registry, const std::optional<std::string>& out) {
  // Dumps print text as the machine had it, which need not be UTF-8; JSON must be, so
  // such bytes become U+FFFD (the scan reads only plain ASCII text anyway).
  const sim::json document{{"registry", sim::registry_to_json(registry)}};
  const std::string text = document.dump(2, ' ', false, sim::json::error_handler_t::replace) + "\n";
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
