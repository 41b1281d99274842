#pragma once
// The PCI functions of a sysfs tree, nested as the PCI topology nests them (each
// bridge over the functions on its secondary bus), each with the identity properties
// the registry gives a PCI device.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/registry_port.h"
#include "platform/sim/registry_model.h"

namespace berth::linux_host {

struct PciFunction {
  std::string address;      // "0000:05:00.0"
  std::filesystem::path dir;  // its directory under devices/
  std::uint16_t vendor = 0;   // 0 when its identity could not be read
  bool bridge = false;
  std::vector<Property> props;
  std::vector<PciFunction> children;      // the functions behind it, when it is a bridge
  std::vector<sim::RegistryEntry> below;  // what its driver shows: ports and their disks
};

// A PCI host bridge ("pci0000:00") and the functions on its root bus.
struct PciHost {
  std::string name;
  std::filesystem::path dir;
  std::vector<PciFunction> functions;
};

inline constexpr std::size_t kMaxPciDepth = 32;

// Every function that bus/pci/devices lists and that lies under devices/. A function
// whose identity cannot be read keeps its place (its children hang below it) with
// only "pcidebug"; the reason goes to the system log.
std::vector<PciHost> read_pci_tree(const std::filesystem::path& sysfs_root);

// The functions from the top of the tree down to the one whose directory is dir;
// empty when no function has that directory.
std::vector<PciFunction*> chain_to(std::vector<PciHost>& hosts, const std::filesystem::path& dir);

// Calls visit on every function, parents before their children.
void for_each_function(std::vector<PciHost>& hosts, const std::function<void(PciFunction&)>& visit);

}  // namespace berth::linux_host
