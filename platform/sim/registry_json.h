#pragma once
// The "registry" section of a machine file, both ways.
#include "platform/sim/machine_file.h"
#include "platform/sim/registry_model.h"

namespace berth::sim {

// Throws MachineFileError naming the place below `place` (normally "/registry").
RegistryModel registry_from_json(const json& section, std::string_view place);
json registry_to_json(const RegistryModel& model);

// A property value of the machine file ({"str": t}, {"data": hex}, ...).
PropertyValue property_value_from_json(const json& value, std::string_view place);
json property_value_to_json(const PropertyValue& value);

}  // namespace berth::sim
