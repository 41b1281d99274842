#pragma once
// A script runner that records every event it is sent. What loading and running a script
// gives is set by the machine file's "script_runner" section.
#include <cstddef>
#include <string>
#include <vector>

#include "platform/script_runner_port.h"
#include "platform/sim/machine_file.h"

namespace berth::sim {

struct ScriptRunnerBehaviour {
  enum class Load { ok, none, with_errors } load = Load::ok;
  std::string load_errors = "{}";
  bool execute_fails = false;
  std::string execute_errors = "{}";

  // Throws MachineFileError with the place of a bad value.
  static ScriptRunnerBehaviour from_json(const json& section, std::string_view place);
};

struct ScriptRunRecord {
  std::string script_path;
  AppleEvent event;
};

class SimScriptRunner final : public ScriptRunnerPort {
 public:
  explicit SimScriptRunner(ScriptRunnerBehaviour behaviour) : behaviour_(std::move(behaviour)) {}

  ScriptLoadResult load_script(const std::string& path) override;
  ScriptExecuteResult execute(script_handle_t script, const AppleEvent& event) override;
  void release_script(script_handle_t script) override;

  const std::vector<std::string>& loads() const { return loads_; }  // paths asked for
  const std::vector<ScriptRunRecord>& runs() const { return runs_; }
  std::size_t scripts_held() const { return held_.size(); }

 private:
  ScriptRunnerBehaviour behaviour_;
  std::vector<std::string> loads_;
  std::vector<ScriptRunRecord> runs_;
  std::vector<std::pair<script_handle_t, std::string>> held_;
  script_handle_t next_handle_ = 1;
};

}  // namespace berth::sim
