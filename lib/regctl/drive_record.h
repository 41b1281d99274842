#pragma once
// The drive-product record: what a tool report of a "Zel Caddy" or "Zel Forte" drive
// puts into a slot of the dock table.
#include <cstdint>
#include <string_view>

namespace berth {

// The product family a tool output names, tested in this order after "Matching".
enum class DriveMarker { none, tm6721, tm478 };

DriveMarker drive_marker(std::string_view output);

// True when `slot` holds a full report of /dev/diskN that a later call may keep.
bool holds_report_of(std::uint32_t slot, std::uint32_t unit);

// Writes the record of /dev/diskN into `slot` from its full report.
void write_drive_record(std::uint32_t slot, std::uint32_t unit, DriveMarker marker, std::string_view report);

}  // namespace berth
