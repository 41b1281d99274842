#include "platform/desktop/desktop_resources.h"

#include <system_error>

namespace berth::desktop {
namespace {

namespace fs = std::filesystem;

bool holds_resources(const fs::path& directory) {
  std::error_code error;
  return fs::is_regular_file(directory / kResourceMarker, error);
}

}  // namespace

std::optional<std::string> DesktopResources::path_for_resource(std::string_view name, std::string_view type) {
  std::string file(name);
  if (!type.empty()) file += "." + std::string(type);
  // A name is a file of the directory itself, never a way out of it.
  if (file.empty() || file.find('/') != std::string::npos || file == "." || file == "..") return std::nullopt;
  const fs::path path = resource_directory_ / file;
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return std::nullopt;
  return path.string();
}

fs::path current_program_path() {
  std::error_code error;
  fs::path program = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : program;
}

std::optional<fs::path> find_resource_directory(const fs::path& program, const fs::path& installed_relative,
                                                std::span<const fs::path> fallbacks) {
  if (!program.empty()) {
    const fs::path installed = (program.parent_path() / installed_relative).lexically_normal();
    if (holds_resources(installed)) return installed;
  }
  for (const fs::path& directory : fallbacks)
    if (holds_resources(directory)) return directory;
  return std::nullopt;
}

}  // namespace berth::desktop
