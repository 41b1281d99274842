#pragma once
// The application's resources on a Linux desktop: the program itself stands for the
// application bundle, and its resources are files in one directory, found beside the
// installed program (../share/berthline-utility) or, in a build tree, in the sources.
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "platform/resources_port.h"

namespace berth::desktop {

// The file whose presence marks a directory as the application's resources.
inline constexpr const char* kResourceMarker = "MainMenu.json";

class DesktopResources final : public ResourcesPort {
 public:
  DesktopResources(std::filesystem::path program, std::filesystem::path resource_directory)
      : program_(std::move(program)), resource_directory_(std::move(resource_directory)) {}

  std::string bundle_path() override { return program_.string(); }
  std::string resource_directory() override { return resource_directory_.string(); }
  std::optional<std::string> path_for_resource(std::string_view name, std::string_view type) override;
  // No translations ship: every text is its own English key.
  std::string localized_string(std::string_view, std::string_view fallback) override { return std::string(fallback); }
  std::string system_utility_directory() override { return "/usr/sbin"; }
  std::string port_injector_plist_path() override { return {}; }

 private:
  std::filesystem::path program_;
  std::filesystem::path resource_directory_;
};

// This process's program file.
std::filesystem::path current_program_path();

// The first directory holding the resources: `installed_relative` from the program's
// directory, then each of `fallbacks` in order; nothing when none does.
std::optional<std::filesystem::path> find_resource_directory(const std::filesystem::path& program,
                                                             const std::filesystem::path& installed_relative,
                                                             std::span<const std::filesystem::path> fallbacks);

}  // namespace berth::desktop
