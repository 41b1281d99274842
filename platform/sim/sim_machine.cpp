#include "platform/sim/sim_machine.h"

#include "platform/sim/registry_json.h"

namespace berth::sim {

SimMachine::SimMachine(const MachineFile& file) {
  const json* registry = find(file.doc, "registry");
  registry_ = std::make_unique<SimRegistry>(registry ? registry_from_json(*registry, "/registry") : RegistryModel{});
}

Services SimMachine::services(const Services& base) const {
  Services installed = base;
  installed.registry = registry_.get();
  return installed;
}

}  // namespace berth::sim
