#pragma once
#include "platform/sim/machine_file.h"

namespace berth::cli {

// The machine berthctl runs on when no --machine is given.
sim::MachineFile demo_machine_file();

}  // namespace berth::cli
