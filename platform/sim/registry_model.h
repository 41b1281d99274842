#pragma once
// A registry as data: the tree that the simulated registry serves. Machine files and
// text dumps of real registries both load into this.
#include <string>
#include <vector>

#include "platform/io_types.h"
#include "platform/registry_port.h"

namespace berth::sim {

// Registries of real machines are under 30 entries deep; a deeper one (from a machine
// file or a dump) is refused, so every walk may recurse.
inline constexpr std::size_t kMaxRegistryDepth = 256;
// A real Mac Pro's registry has about 2,000 entries; far more are refused.
inline constexpr std::size_t kMaxRegistryEntries = 1 << 18;

struct RegistryEntry {
  std::string name;      // name in the IOService plane, without "@location"
  std::string location;  // what follows the "@", if anything
  std::string class_name;
  std::vector<std::string> inherits;  // classes it derives from, for matching
  std::vector<Property> props;        // in the order the property table yields them
  bool fail_name = false;
  bool fail_children = false;
  bool fail_properties = false;
  std::vector<RegistryEntry> children;

  bool is_of_class(std::string_view wanted) const;
};

struct RegistryModel {
  std::vector<kern_return_t> matching_status;  // status of the 1st, 2nd, 3rd... matching
  std::vector<RegistryEntry> roots;
};

}  // namespace berth::sim
