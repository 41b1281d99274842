#pragma once
// Registry entries as the sysfs reader makes them.
#include <string>
#include <utility>
#include <vector>

#include "platform/sim/registry_model.h"

namespace berth::linux_host {

inline sim::RegistryEntry make_entry(std::string name, std::string class_name, std::vector<Property> props = {}) {
  sim::RegistryEntry entry;
  entry.name = std::move(name);
  entry.class_name = std::move(class_name);
  entry.props = std::move(props);
  return entry;
}

inline Property number_property(const char* key, std::int64_t value) {
  return {PropertyValue::make_text(key), PropertyValue::make_number(value)};
}

}  // namespace berth::linux_host
