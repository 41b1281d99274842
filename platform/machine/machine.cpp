#include "platform/machine/machine.h"

#include "platform/sim/demo_machine.h"
#include "platform/sim/ioreg_dump.h"

namespace berth::machine {
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
    case MachineSource::live:
      break;
  }
  return std::make_unique<sim::SimMachine>(sim::demo_machine_file(), host.sim_tools);
}

}  // namespace

Machine::Machine(MachineChoice choice, HostPaths host, std::unique_ptr<sim::SimMachine> sim)
    : choice_(std::move(choice)), host_(std::move(host)), sim_(std::move(sim)) {}

void Machine::use_application_resources() {
  if (!host_.resources.empty()) sim_->resources().set_default_resource_directory(host_.resources);
}

std::unique_ptr<Machine> Machine::open(const MachineChoice& choice, const HostPaths& host) {
  return std::make_unique<Machine>(choice, host, simulated_machine(choice, host));
}

Services Machine::services(const Services& base) const { return sim_->services(base); }

void Machine::set_trace(bool on) { sim_->driver().set_trace(on); }

}  // namespace berth::machine
