#pragma once
// Where a program finds its own files: the application's resources and the stand-ins
// of the drive tools that simulated machines run. An installed program finds them
// relative to itself (../share/berthline-utility, ../libexec/berthline-utility/tools);
// a program in a build tree finds the source tree's resources and the built tools.
#include <filesystem>
#include <optional>
#include <span>

namespace berth::machine {

struct HostPaths {
  std::filesystem::path program;
  std::filesystem::path resources;  // empty when none was found
  std::filesystem::path sim_tools;  // empty when none was found
};

// Relative to the running program, then the build tree it was built in.
HostPaths find_host_paths();
// The same for a given program file and build-tree candidates (for tests).
HostPaths find_host_paths(const std::filesystem::path& program, std::span<const std::filesystem::path> build_resources,
                          std::span<const std::filesystem::path> build_tools);

}  // namespace berth::machine
