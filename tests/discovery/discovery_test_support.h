#pragma once
// What the discovery tests share: registry entries for controllers, their ports and
// disks, the BSD units of a dock's ports, and a scan that must succeed.
#include <gtest/gtest.h>

#include <vector>

#include "lib/discovery/discovery.h"
#include "tests/support/machine_builder.h"
#include "tests/support/sim_fixture.h"

namespace berth::testing {

// A whole disk (or a slice, which carries its whole disk's unit).
inline json media(std::int64_t unit, json children = json::array()) {
  return entry("media", "IOMedia", json::array({prop_num("BSD Unit", unit)}), std::move(children));
}
// A USB port, steering the walk by its "PortNum".
inline json usb_port(std::int64_t number, json children) {
  return entry("port", "AppleUSB30XHCIPort", json::array({prop_num("PortNum", number)}), std::move(children));
}
// A SATA port entry, steering the walk by its name ("PRT0").
inline json ahci_port(const std::string& name, json children = json::array()) {
  return entry(name, "AppleAHCIPort", json::array(), std::move(children));
}

// The BSD units of a dock's ports.
template <std::size_t N>
std::vector<std::uint32_t> units(const sDiskInfo (&ports)[N]) {
  std::vector<std::uint32_t> result;
  for (const sDiskInfo& port : ports) result.push_back(port.bsd_unit);
  return result;
}

// Scans the installed machine, which must succeed, and gives the dock count.
inline std::uint32_t scan_docks() {
  std::uint32_t docks = 99;
  EXPECT_EQ(scan_for_devices(&docks), kIOReturnSuccess);
  return docks;
}

}  // namespace berth::testing
