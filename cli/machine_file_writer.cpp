// The machine file that ioreg-to-machine and sysfs-to-machine write from a registry
// (and, for a live machine, its disks as the disks port sees them).
#include <fstream>

#include "app/model/disk_arbitration.h"
#include "cli/commands.h"
#include "platform/services.h"
#include "platform/sim/registry_json.h"

namespace berth::cli {

sim::json installed_disks_section() {
  sim::json disks = sim::json::array();
  const app::DASession session = app::DASession::create();
  for (const std::string& bsd : services().disks->bsd_names()) {
    const app::DADiskDescription description = app::DADisk::create_from_bsd_name(session, bsd).copy_description();
    sim::json disk{{"bsd", bsd}};
    if (const auto media = description ? description.media_name() : std::nullopt) disk["media_name"] = *media;
    const auto name = description ? description.volume_name() : std::nullopt;
    const auto path = description ? description.volume_path() : std::nullopt;
    if (name || path) {
      sim::json volume = sim::json::object();
      if (name) volume["name"] = *name;
      if (path) volume["path"] = *path;
      if (const auto free = path ? app::file_system_free_size(*path) : std::nullopt) volume["free_bytes"] = *free;
      disk["volume"] = volume;
    }
    disks.push_back(disk);
  }
  return disks;
}

int write_machine_file(const sim::RegistryModel& registry, const std::optional<std::string>& out,
                       const sim::json& disks) {
  // Dumps print text as the machine had it, which need not be UTF-8; JSON must be, so
  // such bytes become U+FFFD (the scan reads only plain ASCII text anyway).
  sim::json document{{"registry", sim::registry_to_json(registry)}};
  if (!disks.is_null()) document["disks"] = disks;
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
