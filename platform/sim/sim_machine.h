#pragma once
// One simulated machine: every sim backend, each loaded from its section of the
// machine file, and the set of ports that puts them in service.
#include <memory>

#include "platform/services.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/sim_registry.h"

namespace berth::sim {

class SimMachine {
 public:
  // Throws MachineFileError for a section that does not describe a machine.
  explicit SimMachine(const MachineFile& file);

  // The machine's ports; console and system log are left as the caller has them.
  Services services(const Services& base) const;

  SimRegistry& registry() { return *registry_; }

 private:
  std::unique_ptr<SimRegistry> registry_;
};

}  // namespace berth::sim
