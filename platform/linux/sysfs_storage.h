#pragma once
// The ports a storage or USB host controller shows below its PCI function, each with
// the disks behind it, named and numbered the way the scan's disk walks read them.
#include <filesystem>
#include <vector>

#include "platform/sim/registry_model.h"

namespace berth::linux_host {

// SATA ports of a libata controller (its ataN directories): "PRT{n-1}" for the port
// whose class/ata_port/ataN/port_no is n, in port order, each over its disks.
std::vector<sim::RegistryEntry> sata_ports(const std::filesystem::path& sysfs_root,
                                           const std::filesystem::path& function_dir);

// USB ports of a host controller's root hubs (its usbN directories), one entry per
// physical port with "PortNum": the USB 2 and USB 3 root hubs of one controller each
// count the same connectors, so a port takes the number of the first hub's port it is
// paired with through its `peer` link (USB 2 hubs come first); unpaired ports are
// numbered after all others. Each entry is over the disks behind both its halves.
std::vector<sim::RegistryEntry> usb_ports(const std::filesystem::path& function_dir);

}  // namespace berth::linux_host
