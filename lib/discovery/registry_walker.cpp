#include "lib/discovery/registry_walker.h"

#include <optional>

#include "lib/discovery/diagnostics.h"
#include "lib/discovery/entry_visit.h"
#include "platform/services.h"

namespace berth {
namespace {

std::optional<std::uint32_t> gScanWidth;

std::uint32_t ask_terminal_width() {
  ConsolePort* console = services().console;
  if (!console) return 0;
  if (const auto columns = console->terminal_columns(Stream::out)) return *columns;
  if (const auto columns = console->terminal_columns(Stream::in)) return *columns;
  return 0;
}

void perform_action(io_object_t entry, const ioreg_options& options) {
  switch (options.mode) {
    case kWalkPCICapture: show_io_pci_devices(entry, options); break;
    case kWalkThunderboltSubtree: show_services_under_TB(entry, options); break;
    case kWalkSATACandidates: show_M9182(entry, options); break;
    case kWalkSATADisks: show_M9182_disks(entry, options); break;
    case kWalkUSBCandidates: show_FL1100(entry, options); break;
    case kWalkUSBDisks: show_FL1100_disks(entry, options); break;
    default: break;  // other modes visit without an action
  }
}

// A walk in a scan uses the width asked at the scan's start.
std::uint32_t terminal_width() { return gScanWidth ? *gScanWidth : ask_terminal_width(); }

}  // namespace

ScanTerminalWidth::ScanTerminalWidth() { gScanWidth = ask_terminal_width(); }

ScanTerminalWidth::~ScanTerminalWidth() { gScanWidth.reset(); }

kern_return_t main_ioreg(io_object_t entry, std::uint32_t mode, std::uint32_t recurse, std::uint32_t index) {
  const ioreg_options options{kIOServicePlane, 0xFFFFFFFF, terminal_width(), recurse, index, mode};
  set_diagnostics_width(options.width);
  scan(entry, 0, options);
  return kIOReturnSuccess;
}

void scan(io_object_t entry, std::uint32_t depth, const ioreg_options& options) {
  RegistryPort& registry = *services().registry;
  io_object_t children = 0;
  if (registry.get_child_iterator(entry, options.plane, &children) != kIOReturnSuccess) {
    assertion(false, "can't obtain children");
    write_err("ioreg_scan: error: Mark1.\n");
    return;
  }
  perform_action(entry, options);
  if (options.depth > depth + 1 && options.recurse != 0) {
    while (const io_object_t child = registry.iterator_next(children)) {
      scan(child, depth + 1, options);
      registry.object_release(child);
    }
  }
  registry.object_release(children);
}

}  // namespace berth
