// Registration as a login item: one handler of a compiled script among the resources,
// called with a subroutine-call Apple event addressed to this process.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "app/app_delegate.h"
#include "app/model/bundle.h"
#include "platform/services.h"

namespace berth::app {
namespace {

constexpr std::string_view kMountedVolumesPrefix = "/Volumes";
constexpr std::uint32_t kCurrentProcessHigh = 0;
constexpr std::uint32_t kCurrentProcess = 2;

AppleEventDescriptor string_descriptor(std::string_view text) {
  return {kTypeUTF8Text, std::vector<std::uint8_t>(text.begin(), text.end()), {}};
}

// The process serial number {high 0, low kCurrentProcess}, each half in this machine's byte order.
AppleEventDescriptor current_process_descriptor() {
  AppleEventDescriptor target{kTypeProcessSerialNumber, std::vector<std::uint8_t>(8), {}};
  std::memcpy(target.bytes.data(), &kCurrentProcessHigh, sizeof kCurrentProcessHigh);
  std::memcpy(target.bytes.data() + 4, &kCurrentProcess, sizeof kCurrentProcess);
  return target;
}

std::string lowercase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

AppleEvent subroutine_call(std::string_view handler, std::string_view parameter) {
  AppleEventDescriptor parameters{kTypeAEList, {}, {}};
  parameters.items.push_back(string_descriptor(parameter));
  AppleEvent event{kASAppleScriptSuite, kASSubroutineEvent, current_process_descriptor(),
                   kAutoGenerateReturnID, kAnyTransactionID, {}};
  event.parameters.emplace_back(keyASSubroutineName, string_descriptor(lowercase(handler)));
  event.parameters.emplace_back(keyDirectObject, std::move(parameters));
  return event;
}

}  // namespace

void AppDelegate::_runAppleScriptWithCommand(std::string_view command, std::string_view scriptName,
                                             std::string_view parameter) {
  const auto path = Bundle::main_bundle().path_for_resource(scriptName, "scpt");
  // A copy opened from a disk image or an outside disk registers nothing.
  if (path && path->starts_with(kMountedVolumesPrefix)) return;
  ScriptRunnerPort* runner = services().script_runner;
  if (!path || path->empty() || !runner) return;
  const ScriptLoadResult loaded = runner->load_script(*path);
  if (loaded.script == 0) return;
  if (loaded.errors) {
    syslog_printf("error creating applescript:%s errors:%s", loaded.description.c_str(), loaded.errors->c_str());
    runner->release_script(loaded.script);
    return;
  }
  const ScriptExecuteResult result = runner->execute(loaded.script, subroutine_call(command, parameter));
  if (!result.has_result) syslog_printf("error executing applescript: errors:%s", result.errors.c_str());
  runner->release_script(loaded.script);
}

}  // namespace berth::app
