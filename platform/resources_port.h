#pragma once
// The application's resources and the fixed places of outside components: what the
// main bundle and the file system give the utility by name.
#include <optional>
#include <string>
#include <string_view>

namespace berth {

class ResourcesPort {
 public:
  virtual ~ResourcesPort() = default;
  // The main bundle's path (the application itself) and its resource directory.
  virtual std::string bundle_path() = 0;
  virtual std::string resource_directory() = 0;
  // Path of resource `name` of type `type` ("png", "scpt", ...; empty: no extension),
  // or nothing when the bundle has no such resource.
  virtual std::optional<std::string> path_for_resource(std::string_view name, std::string_view type) = 0;
  // The localized string for key, or `fallback` when there is none.
  virtual std::string localized_string(std::string_view key, std::string_view fallback) = 0;
  // Directory holding the system disk utility ("/usr/sbin" on the utility's own system).
  virtual std::string system_utility_directory() = 0;
  // The register-control driver bundle's port-injector property list.
  virtual std::string port_injector_plist_path() = 0;
};

}  // namespace berth
