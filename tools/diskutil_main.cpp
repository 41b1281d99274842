// The simulated machine's "diskutil": see sim_tool.h.
#include "tools/sim_tool.h"

int main(int argc, char** argv) { return berth::tools::run_sim_tool(berth::tools::SimTool::diskutil, argc, argv); }
