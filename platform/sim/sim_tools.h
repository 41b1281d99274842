#pragma once
// The outside programs of a simulated machine, from the machine file's "tools" section:
// what the system disk utility lists and what the two drive tools report per device.
// The programs themselves are real child processes (the stand-ins built in tools/);
// they read the section from an anonymous file (it has no name, so nothing is left
// behind) that every child has open as a descriptor, whose path in /dev/fd it finds in
// the environment variable BERTH_SIM_TOOLS.
#include <filesystem>
#include <memory>
#include <string>

#include "platform/posix/posix_processes.h"
#include "platform/sim/machine_file.h"

namespace berth::sim {

class SimTools {
 public:
  // A machine without a "tools" section: children inherit the environment as it is.
  SimTools();
  // Throws MachineFileError with the place of a bad value, or when the section cannot
  // be handed to the tools.
  SimTools(const json& section, std::string_view place);
  ~SimTools();
  SimTools(const SimTools&) = delete;
  SimTools& operator=(const SimTools&) = delete;

  ProcessesPort& processes() { return *processes_; }
  // Gives the tools a new section (they read it at every run); false without a section.
  bool rewrite(const json& section);
  // The file the tools read, as a child sees it; empty without a section.
  const std::string& tools_file() const { return tools_file_; }

  // Where the stand-in programs "diskutil", "Mervo_ltr" and "Mervo" are.
  static std::filesystem::path directory();

 private:
  int tools_fd_ = -1;
  std::string tools_file_;
  std::unique_ptr<PosixProcesses> processes_;
};

}  // namespace berth::sim
