#pragma once
// Which machine a program runs on, as its command line chose it:
//   (nothing)              the live Linux machine (/sys, UDisks2)
//   --sysfs ROOT           the live machine over another sysfs tree (fixtures, bug reports)
//   --demo                 the built-in demo machine
//   --machine FILE         a machine file; with --live-disks, under the live disks
//   --ioreg DUMP           the registry of an `ioreg -l` dump, nothing else
// berthctl and berthline-utility take the same options.
#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace berth::machine {

enum class MachineSource { live, demo, machine_file, ioreg_dump };

struct MachineChoice {
  MachineSource source = MachineSource::live;
  std::string path;  // the machine file or the dump
  std::filesystem::path sysfs_root = "/sys";
  bool live_disks = false;
};

inline constexpr const char* kMachineOptionsUsage =
    "[--machine FILE [--live-disks] | --ioreg DUMP | --sysfs ROOT | --demo]";

// Takes the machine options out of args (anywhere before the command's own arguments
// is fine); the choice, or why the options do not make one.
std::variant<MachineChoice, std::string> take_machine_options(std::vector<std::string_view>& args);

}  // namespace berth::machine
