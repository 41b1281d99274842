#pragma once
// The Thunderbolt GUID of each dock, put where the registry carries it: as "Tunnel
// Endpoint GUID" on the PCI upstream bridge of the dock's own Thunderbolt controller.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/linux/sysfs_pci.h"

namespace berth::linux_host {

// For every domain of bus/thunderbolt/devices: the authorized device at route depth d
// gets the d-th Thunderbolt upstream bridge below its host controller, when each is
// the only one at that depth. The kernel links a Thunderbolt switch to no PCI device,
// so nothing surer is to be had; every depth left without a GUID is logged with why.
void assign_thunderbolt_guids(const std::filesystem::path& sysfs_root, std::vector<PciHost>& hosts);

// The 8 bytes the scan reads (UID low word, then high word, little-endian) from the
// text of a device's unique_id. The kernel prints the UID there followed by eight
// 0xff bytes; any other text is not a UID and gives nothing.
std::optional<std::array<std::uint8_t, 8>> guid_from_unique_id(std::string_view text);

}  // namespace berth::linux_host
