#pragma once
// The PCI functions of the live machine that the register-control backend may open:
// exactly those the registry scan accepts as the SATA controller of a dock. Every
// other function is never opened, mapped or written.
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry_port.h"

namespace berth::machine {

// Runs the scan over registry (quietly) and gives the sysfs addresses ("0000:85:00.0")
// of the accepted controllers, found under sysfs_root/bus/pci/devices.
std::vector<std::string> dock_sata_functions(RegistryPort& registry, const std::filesystem::path& sysfs_root);

}  // namespace berth::machine
