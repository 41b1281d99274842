#include "platform/machine/host_paths.h"

#include <system_error>

#include "platform/desktop/desktop_resources.h"

namespace berth::machine {
namespace {

namespace fs = std::filesystem;

// The stand-ins' directory is the one holding the disk utility's stand-in.
fs::path find_tools_directory(const fs::path& program, std::span<const fs::path> build_tools) {
  std::error_code error;
  const fs::path installed = (program.parent_path() / BERTH_INSTALLED_TOOLS).lexically_normal();
  if (!program.empty() && fs::is_regular_file(installed / "diskutil", error)) return installed;
  for (const fs::path& candidate : build_tools)
    if (fs::is_regular_file(candidate / "diskutil", error)) return candidate;
  return {};
}

}  // namespace

HostPaths find_host_paths(const fs::path& program, std::span<const fs::path> build_resources,
                          std::span<const fs::path> build_tools) {
  return HostPaths{program,
                   desktop::find_resource_directory(program, BERTH_INSTALLED_RESOURCES, build_resources).value_or(""),
                   find_tools_directory(program, build_tools)};
}

HostPaths find_host_paths() {
  const fs::path build_resources[] = {BERTH_BUILD_TREE_RESOURCES};
  const fs::path build_tools[] = {BERTH_BUILD_TREE_TOOLS};
  return find_host_paths(desktop::current_program_path(), build_resources, build_tools);
}

}  // namespace berth::machine
