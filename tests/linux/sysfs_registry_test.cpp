// The registry read from sysfs trees, each scanned by the unchanged scan: what docks,
// GUIDs, ports and disks it finds, and what the reader logged.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>

#include <sys/stat.h>

#include "lib/discovery/discovery.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/sim_registry.h"
#include "tests/linux/sysfs_tree.h"
#include "tests/support/run_berthctl.h"
#include "tests/support/sim_fixture.h"

namespace berth {
namespace {

using namespace berth::testing;
using Units = std::array<std::uint32_t, 4>;
constexpr std::uint32_t kNo = 0xFF;

struct ExpectedDock {
  std::uint32_t type;
  std::uint32_t guid_low;
  Units usb;
  Units sata;  // compared for type 10 only
};

struct Scanned {
  std::vector<std::string> log;
  std::uint32_t docks = 0;
};

Scanned scan_tree(const fs::path& root) {
  sim::CaptureConsole console;
  sim::MemorySystemLog log;
  ScopedServices quiet(Services{nullptr, &console, &log});
  sim::SimRegistry registry(linux_host::read_sysfs_registry(root));
  Scanned result{log.lines()};  // what the reader logged; the scan logs its USB walk
  Services with_registry{&registry, &console, &log};
  ScopedServices installed(with_registry);
  reset_device_tables();
  EXPECT_EQ(scan_for_devices(&result.docks), kIOReturnSuccess);
  return result;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  return text;
}

Units units_of(const sDiskInfo (&ports)[kPortsPerController]) {
  return {ports[0].bsd_unit, ports[1].bsd_unit, ports[2].bsd_unit, ports[3].bsd_unit};
}

// A type-6 dock at 0-1 of a host, with a disk on USB port 1.
Dock small_dock(SysfsTree& tree, const Host& host, const fs::path& below, unsigned bus, const std::string& route) {
  const Dock dock = add_dock(tree, below, bus, 6, bus);
  tree.thunderbolt_device(host.nhi, host.domain, route, 1, dock_unique_id(6, bus));
  tree.disk(tree.usb_device(dock.usb3, 1), "sde");
  return dock;
}

struct Case {
  const char* name;
  std::function<void(SysfsTree&)> build;
  std::vector<ExpectedDock> docks;
  const char* logged;  // a text one log line holds; "" for a tree that logs nothing
};

const Case kCases[] = {
    {"larger dock with USB and eSATA disks", [](SysfsTree& tree) { larger_dock_machine(tree); },
     {{10, 0x11223344, {27, 1, 192, kNo}, {3, 2, kNo, kNo}}}, ""},
    {"two docks of different types on two hosts",
     [](SysfsTree& tree) {
       const Host first = add_host(tree, 0, 1, 0x05);
       small_dock(tree, first, first.port_a, first.bus_a, "1");
       const Host second = add_host(tree, 1, 2, 0x85);
       const Dock big = add_dock(tree, second.port_b, second.bus_b, 10, 9);
       tree.thunderbolt_device(second.nhi, 1, "3", 1, dock_unique_id(10, 0xB16));
       tree.disk(tree.ata_port(big.sata, 5, 1), "sdf");
     },
     {{6, 0x15, {4, kNo, kNo, kNo}, {}}, {10, 0xB16, {kNo, kNo, kNo, kNo}, {5, kNo, kNo, kNo}}}, ""},
    {"a dock behind a dock",
     [](SysfsTree& tree) {
       const Host host = add_host(tree, 0, 1, 0x05);
       const Dock first = add_dock(tree, host.port_a, host.bus_a, 10, 3);
       tree.thunderbolt_device(host.nhi, 0, "1", 1, dock_unique_id(10, 0xA));
       small_dock(tree, host, first.chain, first.chain_bus, "301");
     },
     {{10, 0xA, {kNo, kNo, kNo, kNo}, {kNo, kNo, kNo, kNo}}, {6, 0x19, {4, kNo, kNo, kNo}, {}}}, ""},
    {"a machine without Thunderbolt",
     [](SysfsTree& tree) {
       const auto port = tree.pci({}, "0000:00:1c.0", {0x8086, 0xA110, 0x060400, 0, 0, 2, 2});
       const auto usb = tree.pci(port, "0000:02:00.0", {0x1B73, 0x1100, 0x0C0330, 0x1B73, 0x1100, -1, -1});
       tree.disk(tree.usb_device(tree.root_hub(usb, 1, 480, 2), 1), "sda");
     },
     {}, ""},
    {"an unauthorized device beside a dock",
     [](SysfsTree& tree) {
       const Host host = add_host(tree, 0, 1, 0x05);
       small_dock(tree, host, host.port_a, host.bus_a, "1");
       tree.thunderbolt_device(host.nhi, 0, "3", 0, dock_unique_id(10, 0xBAD));
     },
     {{6, 0x15, {4, kNo, kNo, kNo}, {}}}, "0-3 is not authorized"},
    {"a controller whose config cannot be read",
     [](SysfsTree& tree) {
       const Host host = add_host(tree, 0, 1, 0x05);
       small_dock(tree, host, host.port_a, host.bus_a, "1");
       const fs::path config = host.port_a / "0000:15:00.0/0000:16:00.0/0000:17:00.0/config";
       fs::remove(config);
       ASSERT_EQ(::mkfifo(config.c_str(), 0644), 0);  // a read would wait for a writer
     },
     {{6, 0x15, {4, kNo, kNo, kNo}, {}}}, "0000:17:00.0: config cannot be read"},
    {"two docks at the same depth",
     [](SysfsTree& tree) {
       const Host host = add_host(tree, 0, 1, 0x05);
       small_dock(tree, host, host.port_a, host.bus_a, "1");
       small_dock(tree, host, host.port_b, host.bus_b, "3");
     },
     {}, "depth 1: authorized devices 0-1 0-3, PCI upstream bridges 0000:15:00.0 0000:45:00.0: no single pair"},
    {"a hostile tree around the larger dock",
     [](SysfsTree& tree) {
       const Dock dock = larger_dock_machine(tree);
       const fs::path pci = tree.root() / "bus/pci/devices";
       fs::create_symlink("/etc", pci / "0000:98:00.0");          // out of the tree
       fs::create_symlink("0000:97:00.0", pci / "0000:97:00.0");  // a link to itself
       fs::create_symlink("..", tree.usb_device(dock.usb3, 2) / "up");  // a directory loop
       fs::path deep = tree.usb_device(dock.usb3, 4);
       for (int i = 0; i < 60; ++i) deep /= "d";
       tree.disk(deep, "sdz");  // beyond any hub chain: not looked for
       tree.thunderbolt_device(dock.chain, 0, "301", 1, dock_unique_id(6, 1));
       const fs::path authorized = dock.chain / "domain0/0-301/authorized";
       fs::remove(authorized);
       ASSERT_EQ(::mkfifo(authorized.c_str(), 0644), 0);
     },
     {{10, 0x11223344, {27, 1, 192, kNo}, {3, 2, kNo, kNo}}}, "0-301 is of unknown authorization"},
    {"a unique_id that is not a UID",
     [](SysfsTree& tree) {
       const Host host = add_host(tree, 0, 1, 0x05);
       small_dock(tree, host, host.port_a, host.bus_a, "1");
       tree.write(host.nhi / "domain0/0-1/unique_id", "15000000-0600-3d00-8086-1234567890ab\n");
     },
     {}, "an unexpected layout"},
};

TEST(SysfsRegistry, TheScanFindsTheDocksOfEachTree) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SysfsTree tree;
    c.build(tree);
    const Scanned scanned = scan_tree(tree.root());
    ASSERT_EQ(scanned.docks, c.docks.size()) << joined(scanned.log);
    for (std::size_t i = 0; i < c.docks.size(); ++i) {
      const sDevice& dock = vtr_device_list[i].dev;
      EXPECT_EQ(dock.TB_GUID_high, 0x003D0000u | c.docks[i].type) << i;
      EXPECT_EQ(dock.TB_GUID_low, c.docks[i].guid_low) << i;
      EXPECT_EQ(units_of(dock.usb_disk), c.docks[i].usb) << i;
      if (c.docks[i].type == 10) {
        EXPECT_EQ(units_of(dock.sata_disk), c.docks[i].sata) << i;
      }
      for (const sDiskInfo& port : dock.usb_disk)  // optical drives (sr) are marked so none is ejected
        EXPECT_EQ(std::string(port.media_type) == "DVD-ROM", port.bsd_unit >= 192 && port.bsd_unit < 224);
    }
    if (*c.logged == '\0') {
      EXPECT_EQ(joined(scanned.log), "");
    } else {
      EXPECT_NE(joined(scanned.log).find(c.logged), std::string::npos) << joined(scanned.log);
    }
  }
}

}  // namespace
}  // namespace berth
