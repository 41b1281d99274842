#include "platform/sim/sim_resources.h"

#include <system_error>

namespace berth::sim {
namespace {

std::string string_member(const json& section, std::string_view key, std::string_view place, std::string fallback) {
  const json* value = find(section, key);
  return value ? require_string(*value, place_of(place, key)) : std::move(fallback);
}

}  // namespace

SimResources::SimResources(const json& section, std::string_view place, const std::filesystem::path& base_dir) {
  require_object(section, place);
  bundle_path_ = string_member(section, "path", place, bundle_path_);
  if (const json* resources = find(section, "resources")) {
    resource_directory_ = base_dir / require_string(*resources, place_of(place, "resources"));
    resource_directory_given_ = true;
  }
  if (const json* paths = find(section, "resource_paths")) {
    const std::string paths_place = place_of(place, "resource_paths");
    for (const auto& [file, path] : require_object(*paths, paths_place).items()) {
      if (path.is_null()) resource_paths_[file] = std::nullopt;
      else resource_paths_[file] = require_string(path, place_of(paths_place, file));
    }
  }
  if (const json* strings = find(section, "strings")) {
    const std::string strings_place = place_of(place, "strings");
    for (const auto& [key, text] : require_object(*strings, strings_place).items())
      strings_[key] = require_string(text, place_of(strings_place, key));
  }
  system_utility_directory_ = string_member(section, "system_utility_directory", place, system_utility_directory_);
  system_utility_directory_given_ = find(section, "system_utility_directory") != nullptr;
  port_injector_plist_ = string_member(section, "port_injector_plist", place, "");
  if (!port_injector_plist_.empty()) port_injector_plist_ = (base_dir / port_injector_plist_).string();
}

void SimResources::set_default_resource_directory(const std::filesystem::path& directory) {
  if (!resource_directory_given_) resource_directory_ = directory;
}

void SimResources::place_tools(const std::filesystem::path& directory) {
  if (!system_utility_directory_given_) system_utility_directory_ = directory.string();
  set_default_resource_directory(directory);
}

std::optional<std::string> SimResources::path_for_resource(std::string_view name, std::string_view type) {
  std::string file(name);
  if (!type.empty()) file += "." + std::string(type);
  if (const auto it = resource_paths_.find(file); it != resource_paths_.end()) return it->second;
  if (resource_directory_.empty()) return std::nullopt;
  const std::filesystem::path path = resource_directory_ / file;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;
  return path.string();
}

std::string SimResources::localized_string(std::string_view key, std::string_view fallback) {
  const auto it = strings_.find(key);
  return it == strings_.end() ? std::string(fallback) : it->second;
}

}  // namespace berth::sim
