#include "platform/machine/machine.h"

#include "platform/linux/linux_drive_tools.h"
#include "platform/linux/live_disks.h"
#include "platform/linux/live_file_system.h"
#include "platform/linux/udisks_workspace.h"
#include "platform/linux/live_registry.h"
#include "platform/linux/sysfs_driver.h"
#include "platform/machine/dock_controllers.h"
#include "platform/posix/posix_processes.h"
#include "platform/sim/demo_machine.h"
#include "platform/sim/ioreg_dump.h"

namespace berth::machine {

// The backends that read the running system.
struct Machine::Live {
  explicit Live(const std::filesystem::path& root, const std::string& disk_utility)
      : registry(root), driver(root, dock_sata_functions(registry, root)), drive_tools(root, disk_utility, processes) {}

  linux_host::LiveRegistry registry;
  linux_host::SysfsDriver driver;
  PosixProcesses processes;
  linux_host::LinuxDriveTools drive_tools;
};

// The disks, volumes and eject of the running system.
struct Machine::LiveDisks {
  explicit LiveDisks(const std::filesystem::path& root) : disks(root) {}

  linux_host::LiveDisks disks;
  linux_host::LiveFileSystem file_system;
  linux_host::UDisksWorkspace workspace;
};

namespace {

std::unique_ptr<sim::SimMachine> simulated_machine(const MachineChoice& choice, const HostPaths& host) {
  switch (choice.source) {
    case MachineSource::machine_file:
      try {
        return std::make_unique<sim::SimMachine>(sim::MachineFile::load(choice.path), host.sim_tools);
      } catch (const sim::MachineFileError& error) {
        throw MachineError(sim::describe(choice.path, error));
      }
    case MachineSource::ioreg_dump:
      try {
        const auto file = sim::MachineFile::parse("{}", choice.path, std::filesystem::path(choice.path).parent_path());
        return std::make_unique<sim::SimMachine>(file, sim::load_ioreg_dump(choice.path), host.sim_tools);
      } catch (const sim::IoregDumpError& error) {
        throw MachineError(sim::describe(choice.path, error));
      }
    case MachineSource::demo:
      return std::make_unique<sim::SimMachine>(sim::demo_machine_file(), host.sim_tools);
    case MachineSource::live:
      break;
  }
  // The live machine's simulated parts: no devices of their own.
  return std::make_unique<sim::SimMachine>(sim::MachineFile::parse("{}", "<live machine>", ""), host.sim_tools);
}

}  // namespace

Machine::Machine(MachineChoice choice, HostPaths host, std::unique_ptr<sim::SimMachine> sim)
    : choice_(std::move(choice)), host_(std::move(host)), sim_(std::move(sim)) {}

Machine::~Machine() = default;

std::unique_ptr<Machine> Machine::open(const MachineChoice& choice, const HostPaths& host) {
  auto machine = std::make_unique<Machine>(choice, host, simulated_machine(choice, host));
  if (choice.source == MachineSource::live) machine->open_live();
  if (choice.source == MachineSource::live || choice.live_disks) {
    machine->live_disks_ = std::make_unique<LiveDisks>(choice.sysfs_root);
  }
  return machine;
}

void Machine::open_live() {
  std::error_code error;
  if (!std::filesystem::is_directory(choice_.sysfs_root, error)) {
    throw MachineError(choice_.sysfs_root.string() + ": not a directory (a sysfs tree such as /sys)");
  }
  use_application_resources();
  live_ = std::make_unique<Live>(choice_.sysfs_root, sim_->resources().system_utility_directory() + "/diskutil");
}

Services Machine::services(const Services& base) const {
  Services installed = sim_->services(base);
  if (live_) {
    installed.registry = &live_->registry;
    installed.driver = &live_->driver;
    installed.processes = &live_->drive_tools;
  }
  if (live_disks_) {
    installed.disks = &live_disks_->disks;
    installed.file_system = &live_disks_->file_system;
    installed.workspace = &live_disks_->workspace;
  }
  return installed;
}

bool Machine::has_real_controllers() const { return live_ != nullptr; }

std::optional<linux_host::Refusal> Machine::driver_refusal() const {
  return live_ ? live_->driver.last_refusal() : std::nullopt;
}

void Machine::set_trace(bool on) {
  sim_->driver().set_trace(on);
  if (live_) live_->driver.set_trace(on);
}

void Machine::use_application_resources() {
  if (!host_.resources.empty()) sim_->resources().set_default_resource_directory(host_.resources);
}

}  // namespace berth::machine
