#pragma once
// The stand-ins for the outside programs that drive identification runs on a simulated
// machine: the system disk utility ("diskutil list") and the two drive tools
// ("Mervo_ltr" and "Mervo", one device path each). Each prints what the machine file's
// "tools" section says for its arguments; the sim hands that section over in a file
// named by the environment variable BERTH_SIM_TOOLS.
#include <string_view>

namespace berth::tools {

inline constexpr const char* kToolsFileVariable = "BERTH_SIM_TOOLS";

enum class SimTool { diskutil, mervo_ltr, mervo };

// Runs the tool with the program's arguments (argv[0] first); returns the exit status.
int run_sim_tool(SimTool tool, int argc, char** argv);

}  // namespace berth::tools
