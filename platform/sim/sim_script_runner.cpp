#include "platform/sim/sim_script_runner.h"

#include <algorithm>

namespace berth::sim {

ScriptRunnerBehaviour ScriptRunnerBehaviour::from_json(const json& section, std::string_view place) {
  require_object(section, place);
  ScriptRunnerBehaviour behaviour;
  if (const json* load = find(section, "load")) {
    const std::string load_place = place_of(place, "load");
    const std::string text = require_string(*load, load_place);
    if (text == "ok") behaviour.load = Load::ok;
    else if (text == "none") behaviour.load = Load::none;
    else if (text == "errors") behaviour.load = Load::with_errors;
    else throw MachineFileError(load_place, "expected \"ok\", \"none\" or \"errors\", found \"" + text + "\"");
  }
  if (const json* errors = find(section, "load_errors"))
    behaviour.load_errors = require_string(*errors, place_of(place, "load_errors"));
  if (const json* execute = find(section, "execute")) {
    const std::string execute_place = place_of(place, "execute");
    const std::string text = require_string(*execute, execute_place);
    if (text != "ok" && text != "fail")
      throw MachineFileError(execute_place, "expected \"ok\" or \"fail\", found \"" + text + "\"");
    behaviour.execute_fails = text == "fail";
  }
  if (const json* errors = find(section, "execute_errors"))
    behaviour.execute_errors = require_string(*errors, place_of(place, "execute_errors"));
  return behaviour;
}

ScriptLoadResult SimScriptRunner::load_script(const std::string& path) {
  loads_.push_back(path);
  if (behaviour_.load == ScriptRunnerBehaviour::Load::none) return {};
  const script_handle_t handle = next_handle_++;
  held_.emplace_back(handle, path);
  ScriptLoadResult result{handle, std::nullopt, "<NSAppleScript: " + path + ">"};
  if (behaviour_.load == ScriptRunnerBehaviour::Load::with_errors) result.errors = behaviour_.load_errors;
  return result;
}

ScriptExecuteResult SimScriptRunner::execute(script_handle_t script, const AppleEvent& event) {
  const auto it = std::find_if(held_.begin(), held_.end(), [&](const auto& entry) { return entry.first == script; });
  if (it == held_.end()) return {false, "{}"};
  runs_.push_back({it->second, event});
  if (behaviour_.execute_fails) return {false, behaviour_.execute_errors};
  return {true, {}};
}

void SimScriptRunner::release_script(script_handle_t script) {
  std::erase_if(held_, [&](const auto& entry) { return entry.first == script; });
}

}  // namespace berth::sim
