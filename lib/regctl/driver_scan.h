#pragma once
// The driver-based scan: the library's second way of filling the dock table, from the
// SATA controllers that the register-control driver serves, followed by drive
// identification.
#include <cstdint>

#include "platform/io_types.h"

namespace berth {

// Fills dock records from slot 0 on, one per driver service whose controller is among
// the SATA candidates of the last registry scan, then appends the drive-product
// records. *dev_cnt becomes docks plus drive products. 0xe00002bc only when the driver
// services cannot be listed (the count is then left alone).
kern_return_t scan_by_kVantrelRegCtl(std::uint32_t* dev_cnt);

}  // namespace berth
