#pragma once
// What an eject item's tag addresses: the dock record, the side and the port, decoded as
// the eject worker decodes them. The worker acts on these disks; berthctl asks afterwards
// which of their volumes are still mounted, so that its exit status tells whether the
// whole target was ejected.
#include <cstdint>
#include <string>
#include <vector>

#include "lib/discovery/device_tables.h"

namespace berth::app {

struct PortDisk {
  const sDiskInfo* disk;
  bool usb;  // a USB port (a DVD-ROM medium is refused there); otherwise eSATA
};

// The ports of one side, or of both, as the dock's type has them: USB ports 1 to 3 on
// both types, eSATA ports 1 and 2 on type 10 only. Ports without a disk are included.
std::vector<PortDisk> group_port_disks(const sDevice& dev, std::uint8_t type, std::uint8_t infType);

// The disks the tag's item addresses (one port, a side or the whole dock), ports
// without a disk left out; nothing for a tag that names no dock record or no port.
std::vector<PortDisk> eject_target_disks(std::uint32_t tag);

// The mount paths of the target's volumes that the menu lists and the eject acts on and
// that are mounted now.
std::vector<std::string> mounted_volumes_of_target(std::uint32_t tag);

}  // namespace berth::app
