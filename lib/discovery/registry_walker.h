#pragma once
// The registry walker that every pass shares: walk options, walk modes, the
// recursive pre-order walk and the entry visit common to the recording modes.
#include <cstdint>
#include <string_view>

#include "platform/io_types.h"
#include "platform/registry_port.h"

namespace berth {

enum WalkMode : std::uint32_t {
  kWalkPCICapture = 1,
  kWalkThunderboltSubtree = 2,
  kWalkSATACandidates = 3,
  kWalkSATADisks = 4,
  kWalkUSBCandidates = 5,
  kWalkUSBDisks = 6,
};

struct ioreg_options {
  std::string_view plane;
  std::uint32_t depth;
  std::uint32_t width;
  std::uint32_t recurse;
  std::uint32_t index;
  std::uint32_t mode;
};

// What a property handler receives with each key and value.
struct ioreg_context {
  ioreg_options options;
  std::uint32_t record_index;
};

// While one lives (a scan), every walk takes the terminal width asked once when it was
// made: a scan walks once for every registry entry it captures, and a window-size
// request for each (tens of thousands on a large machine) told nothing new.
class ScanTerminalWidth {
 public:
  ScanTerminalWidth();
  ~ScanTerminalWidth();
  ScanTerminalWidth(const ScanTerminalWidth&) = delete;
  ScanTerminalWidth& operator=(const ScanTerminalWidth&) = delete;
};

kern_return_t main_ioreg(io_object_t entry, std::uint32_t mode, std::uint32_t recurse, std::uint32_t index);
void scan(io_object_t entry, std::uint32_t depth, const ioreg_options& options);

}  // namespace berth
