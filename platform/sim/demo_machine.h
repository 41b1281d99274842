#pragma once
#include "platform/sim/machine_file.h"

namespace berth::sim {

// The built-in demo machine: what the programs run on with --demo, or when the live
// machine has no dock.
MachineFile demo_machine_file();

}  // namespace berth::sim
