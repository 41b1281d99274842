#pragma once
// One simulated machine: every sim backend, each loaded from its section of the
// machine file, and the set of ports that puts them in service.
#include <memory>

#include "platform/services.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/sim_registry.h"
#include "platform/sim/sim_disks.h"
#include "platform/sim/sim_resources.h"
#include "platform/sim/sim_run_loop.h"
#include "platform/sim/sim_script_runner.h"
#include "platform/sim/sim_tools.h"
#include "platform/sim/sim_driver.h"
#include "platform/sim/sim_launcher.h"

namespace berth::sim {

class SimMachine {
 public:
  // Throws MachineFileError for a section that does not describe a machine.
  // tools_directory holds the stand-ins of the drive tools.
  explicit SimMachine(const MachineFile& file, const std::filesystem::path& tools_directory = SimTools::directory());
  // The machine of the file with this registry instead of the file's own (a registry
  // read from a dump of a real machine, or from a live system).
  SimMachine(const MachineFile& file, RegistryModel registry,
             const std::filesystem::path& tools_directory = SimTools::directory());

  // The machine's ports; console and system log are left as the caller has them.
  Services services(const Services& base) const;

  SimRegistry& registry() { return *registry_; }
  SimDisks& disks() { return *disks_; }
  SimResources& resources() { return *resources_; }
  SimRunLoop& run_loop() { return *run_loop_; }
  SimScriptRunner& script_runner() { return *script_runner_; }
  SimTools& tools() { return *tools_; }
  SimDriver& driver() { return *driver_; }
  SimLauncher& launcher() { return *launcher_; }

 private:
  std::unique_ptr<SimRegistry> registry_;
  std::unique_ptr<SimDisks> disks_;
  std::unique_ptr<SimResources> resources_;
  std::unique_ptr<SimRunLoop> run_loop_;
  std::unique_ptr<SimScriptRunner> script_runner_;
  std::unique_ptr<SimTools> tools_;
  std::unique_ptr<SimDriver> driver_;
  std::unique_ptr<SimLauncher> launcher_;
};

}  // namespace berth::sim
