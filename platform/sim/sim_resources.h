#pragma once
// The main bundle of the simulated machine, from the machine file's "bundle" section:
// where the application is, which directory holds its resources, and its localized
// strings. Resources are real files in the resource directory, so images can be read.
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "platform/resources_port.h"
#include "platform/sim/machine_file.h"

namespace berth::sim {

class SimResources final : public ResourcesPort {
 public:
  SimResources() = default;
  // Throws MachineFileError with the place of a bad value.
  SimResources(const json& section, std::string_view place, const std::filesystem::path& base_dir);

  std::string bundle_path() override { return bundle_path_; }
  std::string resource_directory() override { return resource_directory_.string(); }
  std::optional<std::string> path_for_resource(std::string_view name, std::string_view type) override;
  std::string localized_string(std::string_view key, std::string_view fallback) override;
  std::string system_utility_directory() override { return system_utility_directory_; }
  std::string port_injector_plist_path() override { return port_injector_plist_; }

  // The host program's own resource directory, used when the machine file names none.
  void set_default_resource_directory(const std::filesystem::path& directory);
  // Puts the stand-ins of the outside programs where drive identification looks for
  // them: `directory` becomes the system utility directory and the resource directory,
  // each unless the machine file names its own.
  void place_tools(const std::filesystem::path& directory);

 private:
  std::string bundle_path_ = "/Applications/Vantrel Berthline Utility.app";
  std::filesystem::path resource_directory_;
  bool resource_directory_given_ = false;
  // Resource file name -> path, or nothing for a resource the bundle lacks.
  std::map<std::string, std::optional<std::string>, std::less<>> resource_paths_;
  std::map<std::string, std::string, std::less<>> strings_;
  std::string system_utility_directory_ = "/usr/sbin";
  bool system_utility_directory_given_ = false;
  std::string port_injector_plist_;
};

}  // namespace berth::sim
