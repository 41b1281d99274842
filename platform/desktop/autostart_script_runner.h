#pragma once
// The script runner of a Linux desktop. It reads the handlers a script resource
// declares ("on name(...)") and performs the one the utility calls at launch,
// add_Vantrel_to_loginitems, as the freedesktop.org autostart entry of the program
// whose path the event carries. A handler this runner cannot perform, or an event that
// is no subroutine call, gives no result, as a failed script run does.
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/desktop/xdg_autostart.h"
#include "platform/script_runner_port.h"

namespace berth::desktop {

class AutostartScriptRunner final : public ScriptRunnerPort {
 public:
  explicit AutostartScriptRunner(AutostartPlace place) : place_(std::move(place)) {}

  ScriptLoadResult load_script(const std::string& path) override;
  ScriptExecuteResult execute(script_handle_t script, const AppleEvent& event) override;
  void release_script(script_handle_t script) override { scripts_.erase(script); }

  // What the last login-item run did (for the program's own diagnostics and tests).
  const std::vector<AutostartOutcome>& outcomes() const { return outcomes_; }

 private:
  ScriptExecuteResult add_to_login_items(const AppleEvent& event);

  AutostartPlace place_;
  std::map<script_handle_t, std::set<std::string>> scripts_;  // handle -> handler names, lower case
  script_handle_t next_handle_ = 1;
  std::vector<AutostartOutcome> outcomes_;
};

// The handler names a script's source declares, in lower case (handler names are not
// case-sensitive).
std::set<std::string> declared_handlers(std::string_view source);

}  // namespace berth::desktop
