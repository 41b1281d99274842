#pragma once
// The device registry of a running Linux machine, read from sysfs into the same
// model that machine files and ioreg dumps give, so that the unchanged scan finds the
// docks of the machine: every PCI function as an IOPCIDevice entry nested as the PCI
// topology nests, the Thunderbolt GUID on each dock's upstream bridge, and the SATA
// and USB ports of every controller with the disks behind them.
#include <filesystem>

#include "platform/sim/registry_model.h"

namespace berth::linux_host {

// Reads the tree at sysfs_root ("/sys" on a running machine; a copy or a fixture
// otherwise). Never throws: what cannot be read is left out with a line in the system
// log, and every walk is bounded, so a damaged or hostile tree gives a smaller model.
sim::RegistryModel read_sysfs_registry(const std::filesystem::path& sysfs_root);

}  // namespace berth::linux_host
