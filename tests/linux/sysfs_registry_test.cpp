// Registries read from sysfs trees, each scanned by the unchanged scan: the docks,
// GUIDs, ports and disks it finds, and what the reader logged.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "lib/discovery/discovery.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/sim_registry.h"
#include "tests/linux/sysfs_tree.h"
#include "tests/support/sim_fixture.h"

namespace berth {
namespace {

using namespace berth::testing;
using Units = std::array<std::uint32_t, 4>;
constexpr std::uint32_t kNo = 0xFF;

struct ExpectedDock {
  std::uint32_t type, guid_low;
  Units usb, sata;  // sata compared for type 10 only
};

// The reader's log lines (the scan logs its USB walk after them) and the dock count.
std::pair<std::string, std::uint32_t> scan_tree(const fs::path& root) {
  sim::CaptureConsole console;
  sim::MemorySystemLog log;
  ScopedServices quiet(Services{nullptr, &console, &log});
  sim::SimRegistry registry(linux_host::read_sysfs_registry(root));
  std::string logged;
  for (const auto& line : log.lines()) logged += line + "\n";
  ScopedServices installed(Services{&registry, &console, &log});
  reset_device_tables();
  std::uint32_t docks = 0;
  EXPECT_EQ(scan_for_devices(&docks), kIOReturnSuccess);
  return {logged, docks};
}

Units units_of(const sDiskInfo (&ports)[kPortsPerController]) {
  return {ports[0].bsd_unit, ports[1].bsd_unit, ports[2].bsd_unit, ports[3].bsd_unit};
}

// A type-6 dock (GUID low = bus) with sde on USB port 1.
Dock small_dock(SysfsTree& tree, const Host& host, const fs::path& below, unsigned bus, const std::string& route) {
  const Dock dock = add_dock(tree, below, bus, 6, bus);
  tree.thunderbolt_device(host.nhi, host.domain, route, 1, dock_unique_id(6, bus));
  tree.disk(tree.usb_device(dock.usb3, 1), "sde");
  return dock;
}

void fifo_instead_of(const fs::path& file) {
  fs::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);  // opened and read like a file, it would wait for a writer
}

struct Case {
  const char* name;
  std::function<void(SysfsTree&)> build;
  std::vector<ExpectedDock> docks;
  const char* logged;  // text in the reader's log; "" for a tree that logs nothing
};

const Case kCases[] = {
    {"the larger dock with USB, optical and eSATA disks", [](SysfsTree& t) { larger_dock_machine(t); },
     {{10, 0x11223344, {27, 1, 192, kNo}, {3, 2, kNo, kNo}}}, ""},
    {"two docks of different types on two hosts",
     [](SysfsTree& t) {
       const Host first = add_host(t, 0, 1, 0x05);
       small_dock(t, first, first.port_a, first.bus_a, "1");
       const Host second = add_host(t, 1, 2, 0x85);
       const Dock big = add_dock(t, second.port_b, second.bus_b, 10, 9);
       t.thunderbolt_device(second.nhi, 1, "3", 1, dock_unique_id(10, 0xB16));
       t.disk(t.ata_port(big.sata, 5, 1), "sdf");
     },
     {{6, 0x15, {4, kNo, kNo, kNo}, {}}, {10, 0xB16, {kNo, kNo, kNo, kNo}, {5, kNo, kNo, kNo}}}, ""},
    {"a dock behind a dock",
     [](SysfsTree& t) {
       const Host host = add_host(t, 0, 1, 0x05);
       const Dock first = add_dock(t, host.port_a, host.bus_a, 10, 3);
       t.thunderbolt_device(host.nhi, 0, "1", 1, dock_unique_id(10, 0xA));
       small_dock(t, host, first.chain, host.bus_a + 4, "301");
     },
     {{10, 0xA, {kNo, kNo, kNo, kNo}, {kNo, kNo, kNo, kNo}}, {6, 0x19, {4, kNo, kNo, kNo}, {}}}, ""},
    {"a machine without Thunderbolt",
     [](SysfsTree& t) {
       const auto port = t.pci({}, 0, 0x1C, 0x8086A110, 0x060400, 2);
       const auto usb = t.pci(port, 2, 0, 0x1B731100, 0x0C0330, -1, 0x1B731100);
       t.disk(t.usb_device(t.root_hub(usb, 1, 480, 2), 1), "sda");
     },
     {}, ""},
    {"an unauthorized device beside a dock",
     [](SysfsTree& t) {
       const Host host = add_host(t, 0, 1, 0x05);
       small_dock(t, host, host.port_a, host.bus_a, "1");
       t.thunderbolt_device(host.nhi, 0, "3", 0, dock_unique_id(10, 0xBAD));
     },
     {{6, 0x15, {4, kNo, kNo, kNo}, {}}}, "Thunderbolt device 0-3 is not authorized"},
    {"a controller whose config cannot be read",
     [](SysfsTree& t) {
       const Host host = add_host(t, 0, 1, 0x05);
       small_dock(t, host, host.port_a, host.bus_a, "1");
       fifo_instead_of(host.port_a / "0000:15:00.0/0000:16:00.0/0000:17:00.0/config");
     },
     {{6, 0x15, {4, kNo, kNo, kNo}, {}}}, "0000:17:00.0: config cannot be read; its identity comes from its attribute"},
    {"two docks at the same depth",
     [](SysfsTree& t) {
       const Host host = add_host(t, 0, 1, 0x05);
       small_dock(t, host, host.port_a, host.bus_a, "1");
       small_dock(t, host, host.port_b, host.bus_b, "3");
     },
     {}, "depth 1: authorized devices 0-1 0-3, PCI upstream bridges 0000:15:00.0 0000:45:00.0: no single pair"},
    {"a unique_id that is not a UID",
     [](SysfsTree& t) {
       const Host host = add_host(t, 0, 1, 0x05);
       small_dock(t, host, host.port_a, host.bus_a, "1");
       t.write(host.nhi / "domain0/0-1/unique_id", "15000000-0600-3d00-8086-1234567890ab\n");
     },
     {}, "an unexpected layout; no GUID"},
    {"a hostile tree around the larger dock",
     [](SysfsTree& t) {
       const Dock dock = larger_dock_machine(t);
       const fs::path pci = t.root() / "bus/pci/devices";
       fs::create_symlink("/etc", pci / "0000:98:00.0");                 // out of the tree
       fs::create_symlink("0000:97:00.0", pci / "0000:97:00.0");         // a link to itself
       fs::create_symlink("..", t.usb_device(dock.usb3, 2) / "up");      // a directory loop
       fs::path deep = t.usb_device(dock.usb3, 4);
       for (int i = 0; i < 60; ++i) deep /= "d";
       t.disk(deep, "sdz");  // deeper than any hub chain: not looked for
       t.thunderbolt_device(dock.chain, 0, "301", 1, dock_unique_id(6, 1));
       fifo_instead_of(dock.chain / "domain0/0-301/authorized");
     },
     {{10, 0x11223344, {27, 1, 192, kNo}, {3, 2, kNo, kNo}}}, "0-301 is of unknown authorization"},
};

TEST(SysfsRegistry, TheScanFindsTheDocksOfEachTree) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SysfsTree tree;
    c.build(tree);
    const auto [logged, docks] = scan_tree(tree.root());
    ASSERT_EQ(docks, c.docks.size()) << logged;
    for (std::size_t i = 0; i < c.docks.size(); ++i) {
      const sDevice& dock = vtr_device_list[i].dev;
      EXPECT_EQ(dock.TB_GUID_high, 0x003D0000u | c.docks[i].type) << i;
      EXPECT_EQ(dock.TB_GUID_low, c.docks[i].guid_low) << i;
      EXPECT_EQ(units_of(dock.usb_disk), c.docks[i].usb) << i;
      if (c.docks[i].type == 10) {
        EXPECT_EQ(units_of(dock.sata_disk), c.docks[i].sata) << i;
      }
      for (const sDiskInfo& port : dock.usb_disk)  // optical drives are marked, so that none is ejected
        EXPECT_EQ(std::string(port.media_type) == "DVD-ROM", port.bsd_unit >= 192 && port.bsd_unit < 224);
    }
    if (*c.logged == '\0') {
      EXPECT_EQ(logged, "");
    } else {
      EXPECT_NE(logged.find(c.logged), std::string::npos) << logged;
    }
  }
}

}  // namespace
}  // namespace berth
