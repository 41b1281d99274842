#pragma once
// The device-discovery library: one entry point, scan_for_devices, and the passes it
// runs over the registry.
#include <cstdint>

#include "lib/discovery/device_tables.h"
#include "platform/io_types.h"

namespace berth {

// Clears the working tables, runs the registry passes and groups docks into
// vtr_device_list; *dev_cnt becomes the number of docks.
kern_return_t scan_for_devices(std::uint32_t* dev_cnt);
kern_return_t scan_by_ioreg();

// Thunderbolt subtree capture (after the PCI capture).
void scan_IOPCIDev_services_under_TB();
// Disk walks under the candidates that pass their identity tests.
void scan_disks_under_9182();
void scan_disks_under_FL1100();
// GUID assignment from the Thunderbolt records to the candidates.
void fill_GUID_for_each_M91xx();
void fill_GUID_for_each_FL1100();
// Dock grouping: writes docks from slot *dev_cnt on and adds their number to it.
kern_return_t scan_bl(std::uint32_t* dev_cnt);

// Diagnostic aid: writes the SATA candidates of the GUID family to the system log.
std::uint32_t dump_IOPCIDevice_list();

}  // namespace berth
