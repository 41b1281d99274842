// berthctl sysfs-to-machine: the registry of this Linux machine (or of a copied sysfs
// tree) and the disks it has as a machine file, so a user can attach what their machine looked like to a
// report and the report replays with `berthctl --machine FILE`.
#include <filesystem>

#include "cli/commands.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/services.h"

namespace berth::cli {

int cmd_sysfs_to_machine(CliContext& context, std::vector<std::string_view> args) {
  const std::string root = context.machine->choice().sysfs_root.string();
  const auto out = take_option(args, "--out");
  expect_no_more(args);
  std::error_code error;
  if (!std::filesystem::is_directory(root, error)) {
    write_err("berthctl: " + root + ": not a directory (a sysfs tree such as /sys)\n");
    return kExitUsage;
  }
  return write_machine_file(linux_host::read_sysfs_registry(root), out, installed_disks_section());
}

}  // namespace berth::cli
