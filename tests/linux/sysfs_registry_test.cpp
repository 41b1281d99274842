// Registries read from sysfs trees, each scanned by the unchanged scan: the docks,
// GUIDs, ports and disks it finds, and what the reader logged; the reader on this
// machine's own /sys, berthctl sysfs-to-machine, and the udev monitor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>

#include <nlohmann/json.hpp>

#include "lib/discovery/discovery.h"
#include "platform/linux/sysfs_files.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/linux/udev_monitor.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/registry_json.h"
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

using nlohmann::json;

// "8086:1237" from an IOPCIDevice entry's "vendor-id" and "device-id".
std::string id_text(const sim::RegistryEntry& entry) {
  std::map<std::string, std::string> ids;
  for (const auto& p : entry.props)
    if (p.value.bytes.size() == 4) ids[p.key.text] = format("%02x%02x", p.value.bytes[1], p.value.bytes[0]);
  return ids["vendor-id"] + ":" + ids["device-id"];
}

void collect_functions(const sim::RegistryEntry& entry, std::map<std::string, std::string>& found) {
  if (entry.class_name == "IOPCIDevice") found[entry.name] = id_text(entry);
  for (const auto& child : entry.children) collect_functions(child, found);
}

TEST(SysfsRegistry, FindsEveryPciFunctionOfThisMachineThatLspciListsWithItsIds) {
  if (linux_host::list_directory("/sys/bus/pci/devices").empty()) GTEST_SKIP() << "this machine's /sys shows no PCI";
  FILE* lspci = ::popen("lspci -nD 2>/dev/null", "r");
  std::map<std::string, std::string> listed;  // "0000:00:02.0" -> "8086:1237"
  char address[32];
  unsigned vendor = 0, device = 0;
  for (char line[512]; lspci && std::fgets(line, sizeof line, lspci);)
    if (std::sscanf(line, "%31s %*s %x:%x", address, &vendor, &device) == 3)
      listed[address] = format("%04x:%04x", vendor, device);
  if (!lspci || ::pclose(lspci) != 0 || listed.empty()) GTEST_SKIP() << "lspci is missing (Debian package pciutils)";
  sim::MemorySystemLog log;
  ScopedServices quiet(Services{nullptr, services().console, &log});
  std::map<std::string, std::string> found;
  for (const auto& root : linux_host::read_sysfs_registry("/sys").roots) collect_functions(root, found);
  EXPECT_EQ(found, listed);
}

TEST(SysfsToMachine, WritesAMachineFileThatLoadsBackAndScansTheSame) {
  testing::SysfsTree tree;
  testing::larger_dock_machine(tree);
  const std::string file = (tree.root() / "machine.json").string();
  const auto written = testing::run_berthctl({"sysfs-to-machine", "--sysfs", tree.root().string(), "--out", file});
  ASSERT_EQ(written.exit_status, 0) << written.err;
  EXPECT_EQ(json::parse(std::ifstream(file))["registry"],
            sim::registry_to_json(linux_host::read_sysfs_registry(tree.root())));
  const auto scanned = testing::run_berthctl({"--machine", file, "scan", "--json"});
  const json result = json::parse(scanned.last_line());
  ASSERT_EQ(result["count"], 1) << scanned.out;
  EXPECT_EQ(result["docks"][0]["tb_guid_low"], "0x11223344");
  std::vector<int> units;
  for (const auto& port : result["docks"][0]["usb"]) units.push_back(port["bsd_unit"]);
  EXPECT_EQ(units, (std::vector<int>{27, 1, 192, 255}));
}

TEST(UdevMonitor, GivesANonBlockingDescriptorThatDrainsWithoutWaiting) {
  auto monitor = linux_host::UdevMonitor::open();
  if (!monitor) GTEST_SKIP() << "udev's netlink socket cannot be opened here";
  ASSERT_GE(monitor->fd(), 0);
  EXPECT_NE(::fcntl(monitor->fd(), F_GETFL) & O_NONBLOCK, 0);
  monitor->drain();  // returns at once: nothing blocks when no event is pending
}

// A plain file as the dock controller's BAR5 opens like the real one, but it only holds
// what is written: the flash identity read must end in the bounded time-out, not a hang
// and not an identity made of the echoed command word.
TEST(SysfsFlashTest, APlainFileAsTheBarTimesOutInsteadOfAnswering) {
  testing::SysfsTree tree;
  const testing::Dock dock = testing::larger_dock_machine(tree);
  tree.write(dock.sata / "resource5", std::string(0x800, '\0'));
  const auto result = testing::run_berthctl({"--sysfs", tree.root().string(), "flash", "id"});
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_NE(result.err.find("SPI command 009F2330 did not complete after 1000 polls"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.find("9F2330"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace berth
