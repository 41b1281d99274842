#pragma once
// Drive identification: after the driver-based scan has written its docks, one record
// is appended per attached drive of the "Zel Caddy" and "Zel Forte" products. The disk
// utility lists the whole disks, Disk Arbitration's media name picks the candidates, the
// quick tool "Mervo_ltr" confirms a drive and the full tool "Mervo" reports it. Full
// reports are kept in their slots across calls.
#include <cstdint>
#include <string_view>

#include "lib/discovery/device_tables.h"

namespace berth {

inline constexpr std::uint32_t kNoNodesYet = 0xFFFFFFFF;

// The first slot given to the previous call (kNoNodesYet before the first).
extern std::uint32_t Old_Txxx_Nodes;
// Whole-disk nodes in the current listing, and in the previous completed listing.
extern std::uint32_t New_Node;
extern std::uint32_t Old_Node;
// The disks the last listing named and the scan looked at: bit N for /dev/diskN (1 to 31).
extern std::uint32_t gExaminedDisks;

// Appends drive-product records from slot `start` on (never over a dock, never past the
// table) and returns how many it wrote; 0 when the disk utility gave no listing. When a
// drive tool is missing from the resources, one line says which and where it was looked
// for, and no tool runs and no record is written.
std::uint32_t scan_disk_node(std::uint32_t start);

// True when the media name of /dev/diskN names one of the maker's drive products.
bool GetDescription(std::uint32_t unit);

// The quick match of /dev/diskN for `slot`; fetches the full report when the slot does
// not already hold this disk's.
bool Scan_disk_product_ltr(std::string_view path, std::uint32_t slot, std::uint32_t unit);

// The full report of /dev/diskN; writes the drive-product record of `slot`.
bool Scan_disk_product(std::string_view path, std::uint32_t slot, std::uint32_t unit);

}  // namespace berth
