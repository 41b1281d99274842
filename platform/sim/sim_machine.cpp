#include "platform/sim/sim_machine.h"

#include "platform/sim/registry_json.h"
#include "platform/sim/sim_driver_json.h"

namespace berth::sim {

SimMachine::SimMachine(const MachineFile& file, const std::filesystem::path& tools_directory) {
  const json* registry = find(file.doc, "registry");
  registry_ = std::make_unique<SimRegistry>(registry ? registry_from_json(*registry, "/registry") : RegistryModel{});
  disks_ = std::make_unique<SimDisks>(file.doc);
  const json* bundle = find(file.doc, "bundle");
  resources_ = bundle ? std::make_unique<SimResources>(*bundle, "/bundle", file.base_dir) : std::make_unique<SimResources>();
  run_loop_ = std::make_unique<SimRunLoop>();
  const json* script_runner = find(file.doc, "script_runner");
  script_runner_ = std::make_unique<SimScriptRunner>(
      script_runner ? ScriptRunnerBehaviour::from_json(*script_runner, "/script_runner") : ScriptRunnerBehaviour{});
  const json* tools = find(file.doc, "tools");
  tools_ = tools ? std::make_unique<SimTools>(*tools, "/tools") : std::make_unique<SimTools>();
  if (tools) resources_->place_tools(tools_directory);
  const json* driver = find(file.doc, "driver");
  driver_ = std::make_unique<SimDriver>(driver ? driver_from_json(*driver, "/driver", file.base_dir) : DriverConfig{});
  launcher_ = std::make_unique<SimLauncher>();
}

SimMachine::SimMachine(const MachineFile& file, RegistryModel registry, const std::filesystem::path& tools_directory)
    : SimMachine(file, tools_directory) {
  registry_ = std::make_unique<SimRegistry>(std::move(registry));
}

Services SimMachine::services(const Services& base) const {
  Services installed = base;
  installed.registry = registry_.get();
  installed.disks = &disks_->disk_arbitration();
  installed.file_system = &disks_->file_system();
  installed.workspace = &disks_->workspace();
  installed.resources = resources_.get();
  installed.run_loop = run_loop_.get();
  installed.script_runner = script_runner_.get();
  installed.processes = &tools_->processes();
  installed.driver = driver_.get();
  installed.launcher = launcher_.get();
  return installed;
}

}  // namespace berth::sim
