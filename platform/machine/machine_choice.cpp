#include "platform/machine/machine_choice.h"

#include <algorithm>
#include <optional>

namespace berth::machine {
namespace {

struct Taken {
  std::optional<std::string> machine, ioreg, sysfs;
  bool demo = false, live_disks = false;
  std::string error;
};

// Takes "--name VALUE" or "--name=VALUE" at position i; true when it was that option.
bool take_value(std::vector<std::string_view>& args, std::size_t i, std::string_view name,
                std::optional<std::string>& value, std::string& error) {
  const std::string_view arg = args[i];
  const std::string with_equals = std::string(name) + "=";
  if (arg != name && !arg.starts_with(with_equals)) return false;
  if (value) error = std::string(name) + " is given twice";
  if (arg == name) {
    if (i + 1 == args.size() || args[i + 1].empty()) {
      error = std::string(name) + " needs a value";
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
    value = std::string(args[i + 1]);
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
  } else {
    value = std::string(arg.substr(with_equals.size()));
    args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
  }
  return true;
}

bool take_switch(std::vector<std::string_view>& args, std::size_t i, std::string_view name, bool& on) {
  if (args[i] != name) return false;
  on = true;
  args.erase(args.begin() + static_cast<std::ptrdiff_t>(i));
  return true;
}

Taken take_all(std::vector<std::string_view>& args) {
  Taken taken;
  for (std::size_t i = 0; i < args.size() && taken.error.empty();) {
    if (take_value(args, i, "--machine", taken.machine, taken.error) ||
        take_value(args, i, "--ioreg", taken.ioreg, taken.error) ||
        take_value(args, i, "--sysfs", taken.sysfs, taken.error) || take_switch(args, i, "--demo", taken.demo) ||
        take_switch(args, i, "--live-disks", taken.live_disks)) {
      continue;
    }
    ++i;
  }
  return taken;
}

}  // namespace

std::variant<MachineChoice, std::string> take_machine_options(std::vector<std::string_view>& args) {
  Taken taken = take_all(args);
  if (!taken.error.empty()) return taken.error;
  const int sources = int(taken.machine.has_value()) + int(taken.ioreg.has_value()) + int(taken.sysfs.has_value()) +
                      int(taken.demo);
  if (sources > 1) return std::string("--machine, --ioreg, --sysfs and --demo each name the machine; give one");
  if (taken.live_disks && !taken.machine) return std::string("--live-disks goes with --machine FILE");
  MachineChoice choice;
  choice.live_disks = taken.live_disks;
  if (taken.machine) {
    choice.source = MachineSource::machine_file;
    choice.path = *taken.machine;
  } else if (taken.ioreg) {
    choice.source = MachineSource::ioreg_dump;
    choice.path = *taken.ioreg;
  } else if (taken.demo) {
    choice.source = MachineSource::demo;
  } else if (taken.sysfs) {
    choice.sysfs_root = *taken.sysfs;
  }
  return choice;
}

}  // namespace berth::machine
