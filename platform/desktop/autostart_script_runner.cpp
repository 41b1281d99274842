#include "platform/desktop/autostart_script_runner.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>

namespace berth::desktop {
namespace {

constexpr std::string_view kLoginItemHandler = "add_vantrel_to_loginitems";

std::string lowercase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::string_view trim_left(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  return text;
}

bool is_name_character(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// An error dictionary's description, as the scripting framework prints one.
std::string error_description(std::string_view message) {
  return "{\n    NSAppleScriptErrorMessage = \"" + std::string(message) + "\";\n}";
}

std::optional<std::string> text_of(const AppleEventDescriptor* descriptor) {
  if (!descriptor || descriptor->type != kTypeUTF8Text) return std::nullopt;
  return std::string(descriptor->bytes.begin(), descriptor->bytes.end());
}

}  // namespace

std::set<std::string> declared_handlers(std::string_view source) {
  std::set<std::string> handlers;
  std::istringstream lines{std::string(source)};
  std::string line;
  while (std::getline(lines, line)) {
    std::string_view rest = trim_left(line);
    if (!rest.starts_with("on ") && !rest.starts_with("on\t")) continue;
    rest = trim_left(rest.substr(3));
    std::size_t length = 0;
    while (length < rest.size() && is_name_character(rest[length])) ++length;
    if (length > 0 && trim_left(rest.substr(length)).starts_with('(')) handlers.insert(lowercase(rest.substr(0, length)));
  }
  return handlers;
}

ScriptLoadResult AutostartScriptRunner::load_script(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream source;
  source << in.rdbuf();
  if (!in) return {};
  const script_handle_t handle = next_handle_++;
  scripts_[handle] = declared_handlers(source.str());
  ScriptLoadResult result{handle, std::nullopt, "<script " + path + ">"};
  if (scripts_[handle].empty()) result.errors = error_description("the script declares no handler");
  return result;
}

ScriptExecuteResult AutostartScriptRunner::execute(script_handle_t script, const AppleEvent& event) {
  const auto loaded = scripts_.find(script);
  if (loaded == scripts_.end()) return {false, error_description("no such script")};
  if (event.event_class != kASAppleScriptSuite || event.event_id != kASSubroutineEvent)
    return {false, error_description("the event is not a subroutine call")};
  const auto handler = text_of(event.parameter(keyASSubroutineName));
  if (!handler || !loaded->second.contains(lowercase(*handler)))
    return {false, error_description("the script has no handler " + handler.value_or(""))};
  if (lowercase(*handler) != kLoginItemHandler)
    return {false, error_description("the handler " + *handler + " cannot be performed here")};
  return add_to_login_items(event);
}

ScriptExecuteResult AutostartScriptRunner::add_to_login_items(const AppleEvent& event) {
  const AppleEventDescriptor* list = event.parameter(keyDirectObject);
  const auto program = list && list->type == kTypeAEList && list->items.size() == 1 ? text_of(&list->items[0])
                                                                                     : std::nullopt;
  if (!program) return {false, error_description("the handler takes one text, the application's path")};
  outcomes_.push_back(register_autostart(*program, place_));
  if (outcomes_.back().result == AutostartResult::failed) return {false, error_description(outcomes_.back().detail)};
  return {true, {}};
}

}  // namespace berth::desktop
