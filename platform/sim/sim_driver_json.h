#pragma once
// Reads the "driver" section of a machine file.
#include <filesystem>
#include <string_view>

#include "platform/sim/machine_file.h"
#include "platform/sim/sim_driver_config.h"

namespace berth::sim {

// Throws MachineFileError, with its place, for every value that does not fit.
DriverConfig driver_from_json(const json& section, std::string_view place, const std::filesystem::path& base_dir);

}  // namespace berth::sim
