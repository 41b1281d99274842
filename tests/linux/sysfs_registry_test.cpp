// Registries read from sysfs trees, each scanned by the unchanged scan: the docks, GUIDs,
// ports and disks it finds, and what the reader logged; the reader on this machine's own
// /sys, berthctl sysfs-to-machine, and the udev monitor.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <bit>
#include <fstream>
#include <map>
#include <span>
#include <sstream>

#include <nlohmann/json.hpp>

#include "lib/discovery/discovery.h"
#include "platform/linux/sysfs_files.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/linux/udev_monitor.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/registry_json.h"
#include "platform/sim/sim_registry.h"
#include "tests/support/run_berthctl.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace berth {
namespace {

using namespace berth::testing;
namespace fs = std::filesystem;
constexpr std::uint32_t kTbBridge = 0x80861547, kBridgeClass = 0x060400;

// A sysfs tree in a temporary directory, laid out as the kernel lays it out: PCI functions
// nested under devices/pci0000:00 with bus/pci/devices links and their 64-byte config (all
// an unprivileged reader gets), Thunderbolt devices under their NHI's domainN, libata
// ports, USB root hubs with peer links between their USB 2 and 3 ports, disks under SCSI.
struct SysfsTree : TempDir {
  void link(const fs::path& link, const fs::path& target) const {  // relative, as the kernel's are
    fs::create_directories(link.parent_path());
    fs::create_symlink(target.lexically_relative(link.parent_path()), link);
  }
  // A function below parent's directory (pci0000:00 when empty); a bridge when secondary >= 0.
  fs::path pci(const fs::path& parent, unsigned bus, unsigned device, std::uint32_t vendor_device,
               std::uint32_t class_code, int secondary = -1, std::uint32_t subsystem = 0) const {
    const bool is_bridge = secondary >= 0;
    std::string config(64, '\0');
    // Little-endian: IDs, revision 0 and class code, header type, bridge buses, subsystem IDs.
    for (const auto& [at, value] : {std::pair{0x00, std::rotl(vendor_device, 16)}, {0x08, class_code << 8},
                                    {0x0C, is_bridge ? 1u << 16 : 0u},
                                    {0x18, is_bridge ? 0xFF0000u | static_cast<unsigned>(secondary) << 8 : 0u},
                                    {0x2C, is_bridge ? 0u : std::rotl(subsystem, 16)}})
      for (int i = 0; i < 4; ++i) config[at + i] = static_cast<char>(value >> (8 * i));
    const std::string address = format("0000:%02x:%02x.0", bus, device);
    const fs::path dir = (parent.empty() ? path() / "devices/pci0000:00" : parent) / address;
    write(dir / "config", config);
    write(dir / "vendor", format("0x%04x\n", vendor_device >> 16));
    write(dir / "device", format("0x%04x\n", vendor_device & 0xFFFF));
    write(dir / "class", format("0x%06x\n", class_code));
    link(path() / "bus/pci/devices" / address, dir);
    return dir;
  }
};

fs::path bridge(SysfsTree& t, const fs::path& parent, unsigned bus, unsigned device, unsigned secondary) {
  return t.pci(parent, bus, device, kTbBridge, kBridgeClass, static_cast<int>(secondary));
}

void thunderbolt_device(SysfsTree& t, const fs::path& nhi, unsigned domain, const std::string& route, int authorized,
                        const std::string& unique_id) {
  const std::string name = std::to_string(domain) + "-" + route;
  const fs::path dir = nhi / ("domain" + std::to_string(domain)) / name;
  t.write(dir / "authorized", std::to_string(authorized) + "\n");
  t.write(dir / "unique_id", unique_id + "\n");
  t.link(t.path() / "bus/thunderbolt/devices" / name, dir);
}

fs::path ata_port(SysfsTree& t, const fs::path& controller, unsigned ata, unsigned port_no) {
  const std::string name = "ata" + std::to_string(ata);
  t.write(controller / name / "ata_port" / name / "port_no", std::to_string(port_no) + "\n");
  t.link(t.path() / "class/ata_port" / name, controller / name / "ata_port" / name);
  return controller / name;
}

// A root hub's port usbN-0:1.0/usbN-portP, and what is plugged into it: N-P/N-P:1.0.
fs::path hub_port(const fs::path& hub, unsigned port) {
  const std::string n = hub.filename().string().substr(3);
  return hub / (n + "-0:1.0") / ("usb" + n + "-port" + std::to_string(port));
}
fs::path usb_device(const fs::path& hub, unsigned port) {
  const std::string device = hub.filename().string().substr(3) + "-" + std::to_string(port);
  return hub / device / (device + ":1.0");
}

fs::path root_hub(SysfsTree& t, const fs::path& controller, unsigned bus, unsigned speed_mbits) {
  const fs::path hub = controller / ("usb" + std::to_string(bus));
  t.write(hub / "speed", std::to_string(speed_mbits) + "\n");
  for (unsigned p = 1; p <= 4; ++p) fs::create_directories(hub_port(hub, p));
  return hub;
}

void disk(SysfsTree& t, const fs::path& dir, const std::string& name, unsigned partitions = 0, char lun = '0') {
  const fs::path scsi = dir / "host7/target7:0:0" / (std::string("7:0:0:") + lun);
  t.write(scsi / "vendor", "ATA     \n");
  t.write(scsi / "model", "WDC WD40EFRX-68N\n");
  t.write(scsi / "vpd_pg80", std::string("\0\x80\0\x0d", 4) + "  WD-WCC7K0AB");
  fs::create_directories(scsi / "block" / name);
  for (unsigned k = 1; k <= partitions; ++k)
    t.write(scsi / "block" / name / (name + std::to_string(k)) / "partition", std::to_string(k) + "\n");
}

// A Thunderbolt host controller (upstream bridge at `bus`, NHI with domainN, two
// downstream bridges for docks at bus_a and bus_b) behind root port 00:0N.0.
struct Host { fs::path nhi, port_a, port_b; unsigned domain, bus_a, bus_b; };
Host add_host(SysfsTree& t, unsigned domain, unsigned root_port, unsigned bus) {
  const auto up = bridge(t, t.pci({}, 0, root_port, 0x80861901, kBridgeClass, static_cast<int>(bus)), bus, 0, bus + 1);
  const auto nhi = t.pci(bridge(t, up, bus + 1, 0, bus + 2), bus + 2, 0, 0x8086156C, 0x088000);
  const std::string name = "domain" + std::to_string(domain);
  fs::create_directories(nhi / name);
  t.link(t.path() / "bus/thunderbolt/devices" / name, nhi / name);
  return {nhi, bridge(t, up, bus + 1, 3, bus + 0x10), bridge(t, up, bus + 1, 4, bus + 0x40), domain, bus + 0x10,
          bus + 0x40};
}

// A dock's PCI side behind a downstream bridge: Thunderbolt upstream bridge at `bus`,
// the USB controller with root hubs usbN (USB 2) and usbN+1 (USB 3) paired port by
// port, the SATA controller on type 10, and a downstream bridge at bus+4 (`chain`).
struct Dock { fs::path usb2, usb3, sata, chain; };
Dock add_dock(SysfsTree& t, const fs::path& below, unsigned bus, unsigned type, unsigned usb_bus) {
  const auto up = bridge(t, below, bus, 0, bus + 1);
  const auto usb = t.pci(bridge(t, up, bus + 1, 0, bus + 2), bus + 2, 0, 0x1B731100, 0x0C0330, -1, 0x1B731100);
  Dock dock{root_hub(t, usb, usb_bus, 480), root_hub(t, usb, usb_bus + 1, 5000), {}, {}};
  for (unsigned p = 1; p <= 4; ++p)
    t.link(hub_port(dock.usb2, p) / "peer", hub_port(dock.usb3, p)),
        t.link(hub_port(dock.usb3, p) / "peer", hub_port(dock.usb2, p));
  if (type == 10)
    dock.sata = t.pci(bridge(t, up, bus + 1, 1, bus + 3), bus + 3, 0, 0x1B210612, 0x010601, -1, 0x1AB61060);
  dock.chain = bridge(t, up, bus + 1, 2, bus + 4);
  return dock;
}

// Its unique_id: UID low word, 0x003D and the type, then eight 0xff bytes.
std::string dock_unique_id(unsigned type, std::uint32_t low) {
  return format("%08x-%02x00-3d00-ffff-ffffffffffff", __builtin_bswap32(low), type);
}

// The larger dock at depth 1 (GUID low 0x11223344) with sdab on USB 2 port 1, sdb with
// two partitions on USB 3 port 2, sr0 on USB 2 port 3, sdd on eSATA port 1, sdc on 2.
Dock larger_dock_machine(SysfsTree& t) {
  const Host host = add_host(t, 0, 1, 0x05);
  const Dock dock = add_dock(t, host.port_a, host.bus_a, 10, 3);
  thunderbolt_device(t, host.nhi, 0, "1", 1, dock_unique_id(10, 0x11223344));
  disk(t, usb_device(dock.usb2, 1), "sdab");
  disk(t, usb_device(dock.usb3, 2), "sdb", 2);
  disk(t, usb_device(dock.usb2, 3), "sr0");
  disk(t, ata_port(t, dock.sata, 3, 1), "sdd");
  disk(t, ata_port(t, dock.sata, 4, 2), "sdc");
  return dock;
}

// A type-6 dock (GUID low = bus) with sde on USB port 1.
void small_dock(SysfsTree& t, const Host& host, const fs::path& below, unsigned bus, const std::string& route) {
  const Dock dock = add_dock(t, below, bus, 6, bus);
  thunderbolt_device(t, host.nhi, host.domain, route, 1, dock_unique_id(6, bus));
  disk(t, usb_device(dock.usb3, 1), "sde");
}

Host host_with_dock(SysfsTree& t) {
  const Host host = add_host(t, 0, 1, 0x05);
  small_dock(t, host, host.port_a, host.bus_a, "1");
  return host;
}

void fifo_instead_of(const fs::path& file) {
  fs::remove(file);
  ASSERT_EQ(::mkfifo(file.c_str(), 0644), 0);  // opened and read like a file, it would wait for a writer
}

// Each dock the scan finds as "GUID high:low usb <units>" (an optical drive's unit marked,
// so that it is never ejected), "sata <units>" after it on type 10; then the model and serial
// number of each SATA controller's first port with a disk; and the reader's log.
std::pair<std::vector<std::string>, std::string> scan_tree(const fs::path& root) {
  sim::CaptureConsole console;
  sim::MemorySystemLog log;
  ScopedServices quiet(Services{nullptr, &console, &log});
  sim::SimRegistry registry(linux_host::read_sysfs_registry(root));
  std::string logged;
  for (const auto& line : log.lines()) logged += line + "\n";  // the scan logs its USB walk after them
  ScopedServices installed(Services{&registry, &console, &log});
  reset_device_tables();
  std::uint32_t count = 0;
  EXPECT_EQ(scan_for_devices(&count), kIOReturnSuccess);
  std::vector<std::string> docks;
  for (const sDeviceSlot& slot : std::span(vtr_device_list, count)) {
    const sDevice& dock = slot.dev;
    std::string text = format("%x:%x usb", dock.TB_GUID_high, dock.TB_GUID_low);
    for (const sDiskInfo& port : dock.usb_disk)
      text += format(" %u%s", port.bsd_unit, std::string_view(port.media_type) == "DVD-ROM" ? "dvd" : "");
    for (std::size_t p = 0; (dock.TB_GUID_high & 0xFF) == 10 && p < kPortsPerController; ++p)
      text += format(p ? " %u" : " sata %u", dock.sata_disk[p].bsd_unit);
    docks.push_back(text);
  }
  for (const sCandidateM91xxDev& sata : std::span(gCandidateM91xxDeviceList, gCandidateM91xxDevCnt))
    if (sata.has_disk[0]) docks.push_back(format("eSATA 1: %s, %s", sata.model[0], sata.SN[0]));
  return {docks, logged};
}

// The docks found, and text in the reader's log ("" for a tree that logs nothing).
struct Case { const char* name; void (*build)(SysfsTree&); std::vector<std::string> docks; const char* logged; };

const std::string kLarger = "3d000a:11223344 usb 27 1 192dvd 255 sata 3 2 255 255";
const std::string kLargerModel = "eSATA 1: WDC WD40EFRX-68N, WD-WCC7K0AB";
const std::string kSmall = "3d0006:15 usb 4 255 255 255";

const Case kCases[] = {
    {"the larger dock with USB, optical and eSATA disks", [](SysfsTree& t) { larger_dock_machine(t); }, {kLarger, kLargerModel}, ""},
    {"docks of different types on two hosts, one behind another",
     [](SysfsTree& t) {
       const Host host = add_host(t, 0, 1, 0x05);
       const Dock first = add_dock(t, host.port_a, host.bus_a, 10, 3);
       thunderbolt_device(t, host.nhi, 0, "1", 1, dock_unique_id(10, 0xA));
       small_dock(t, host, first.chain, host.bus_a + 4, "301");
       const Host second = add_host(t, 1, 2, 0x85);
       const Dock big = add_dock(t, second.port_b, second.bus_b, 10, 9);
       thunderbolt_device(t, second.nhi, 1, "3", 1, dock_unique_id(10, 0xB16));
       disk(t, ata_port(t, big.sata, 5, 1), "sdf");
     },
     {"3d000a:a usb 255 255 255 255 sata 255 255 255 255", "3d0006:19 usb 4 255 255 255",
      "3d000a:b16 usb 255 255 255 255 sata 5 255 255 255", kLargerModel}, ""},
    {"USB 3 ports numbered by their USB 2 peers, which run the other way",
     [](SysfsTree& t) {
       const Host host = add_host(t, 0, 1, 0x05);
       const Dock dock = add_dock(t, host.port_a, host.bus_a, 6, 0x15);
       thunderbolt_device(t, host.nhi, 0, "1", 1, dock_unique_id(6, 0x15));
       for (unsigned p = 1; p <= 4; ++p)
         fs::remove(hub_port(dock.usb3, p) / "peer"), t.link(hub_port(dock.usb3, p) / "peer", hub_port(dock.usb2, 5 - p));
       disk(t, usb_device(dock.usb3, 1), "sde");
     },
     {"3d0006:15 usb 255 255 255 4"}, ""},
    {"a host built into the processor: its NHI on the root bus, the dock behind a root port tied to it",
     [](SysfsTree& t) {
       const auto nhi = t.pci({}, 0, 0x0d, 0x80869A1B, 0x0C0340);
       fs::create_directories(nhi / "domain0");
       t.link(t.path() / "bus/thunderbolt/devices/domain0", nhi / "domain0");
       const auto tied = t.pci({}, 0, 0x07, 0x80869A23, kBridgeClass, 0x20);
       t.pci({}, 0, 0x1c, 0x80869A38, kBridgeClass, 0x30);  // an ordinary root port, not tied
       const fs::path link = t.path() / "devices/virtual/devlink/pci:0000:00:0d.0--pci:0000:00:07.0";
       fs::create_directories(link);
       t.link(nhi / "consumer:pci:0000:00:07.0", link);
       const Dock dock = add_dock(t, tied, 0x20, 6, 3);
       thunderbolt_device(t, nhi, 0, "1", 1, dock_unique_id(6, 0x20));
       disk(t, usb_device(dock.usb3, 1), "sde");
     },
     {"3d0006:20 usb 4 255 255 255"}, ""},
    {"a card reader on USB port 1: an empty slot (no size), then a card",
     [](SysfsTree& t) {
       const Host host = add_host(t, 0, 1, 0x05);
       const Dock dock = add_dock(t, host.port_a, host.bus_a, 6, 0x15);
       thunderbolt_device(t, host.nhi, 0, "1", 1, dock_unique_id(6, 0x15));
       disk(t, usb_device(dock.usb2, 1), "sdf");
       t.write(usb_device(dock.usb2, 1) / "host7/target7:0:0/7:0:0:0/block/sdf/size", "0\n");
       disk(t, usb_device(dock.usb2, 1), "sdg", 0, '1');
     },
     {"3d0006:15 usb 6 255 255 255"}, "sdf holds no medium"},
    {"a machine without Thunderbolt",
     [](SysfsTree& t) {
       const auto port = t.pci({}, 0, 0x1C, 0x8086A110, kBridgeClass, 2);
       const auto usb = t.pci(port, 2, 0, 0x1B731100, 0x0C0330, -1, 0x1B731100);
       disk(t, usb_device(root_hub(t, usb, 1, 480), 1), "sda");
     },
     {}, "no bus/thunderbolt (the thunderbolt driver is not loaded)"},
    {"an unauthorized device beside a dock",
     [](SysfsTree& t) { thunderbolt_device(t, host_with_dock(t).nhi, 0, "3", 0, dock_unique_id(10, 0xBAD)); },
     {kSmall}, "Thunderbolt device 0-3 is not authorized"},
    {"a controller whose config cannot be read",
     [](SysfsTree& t) { fifo_instead_of(host_with_dock(t).port_a / "0000:15:00.0/0000:16:00.0/0000:17:00.0/config"); },
     {kSmall}, "0000:17:00.0: config cannot be read; its identity comes from its attribute"},
    {"two docks at the same depth",
     [](SysfsTree& t) { const Host host = host_with_dock(t); small_dock(t, host, host.port_b, host.bus_b, "3"); },
     {}, "depth 1: authorized devices 0-1 0-3, PCI upstream bridges 0000:15:00.0 0000:45:00.0: no single pair"},
    {"a unique_id that is not a UID",
     [](SysfsTree& t) {
       t.write(host_with_dock(t).nhi / "domain0/0-1/unique_id", "15000000-0600-3d00-8086-1234567890ab\n");
     },
     {}, "an unexpected layout; no GUID"},
    {"a hostile tree around the larger dock",
     [](SysfsTree& t) {
       const Dock dock = larger_dock_machine(t);
       const fs::path pci = t.path() / "bus/pci/devices";
       fs::create_symlink("/etc", pci / "0000:98:00.0");            // out of the tree
       fs::create_symlink("0000:97:00.0", pci / "0000:97:00.0");    // a link to itself
       fs::create_symlink("..", usb_device(dock.usb3, 2) / "up");   // a directory loop
       fs::path deep = usb_device(dock.usb3, 4);
       for (int i = 0; i < 60; ++i) deep /= "d";
       disk(t, deep, "sdz");  // deeper than any hub chain: not looked for
       thunderbolt_device(t, dock.chain, 0, "301", 1, dock_unique_id(6, 1));
       fifo_instead_of(dock.chain / "domain0/0-301/authorized");
     },
     {kLarger, kLargerModel}, "0-301 is of unknown authorization"},
};

TEST(SysfsRegistry, TheScanFindsTheDocksOfEachTree) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    SysfsTree tree;
    c.build(tree);
    const auto [docks, logged] = scan_tree(tree.path());
    EXPECT_EQ(docks, c.docks) << logged;
    EXPECT_TRUE(*c.logged ? logged.find(c.logged) != std::string::npos : logged.empty()) << logged;
  }
}

// IOPCIDevice entry name -> "8086:1237" from its "vendor-id" and "device-id".
void collect_functions(const sim::RegistryEntry& entry, std::map<std::string, std::string>& found) {
  std::map<std::string, std::string> ids;
  for (const auto& p : entry.props)
    if (p.value.bytes.size() == 4) ids[p.key.text] = format("%02x%02x", p.value.bytes[1], p.value.bytes[0]);
  if (entry.class_name == "IOPCIDevice") found[entry.name] = ids["vendor-id"] + ":" + ids["device-id"];
  for (const auto& child : entry.children) collect_functions(child, found);
}

TEST(SysfsRegistry, FindsEveryPciFunctionOfThisMachineThatLspciListsWithItsIds) {
  const CommandResult lspci = run_program("/usr/bin/lspci", {"-nD"});
  if (lspci.exit_status != 0 || linux_host::list_directory("/sys/bus/pci/devices").empty())
    GTEST_SKIP() << "this machine's /sys shows no PCI, or lspci is missing (Debian package pciutils)";
  std::map<std::string, std::string> listed, found;  // "0000:00:02.0" -> "8086:1237"
  std::istringstream lines(lspci.out);
  for (std::string address, class_code, ids, rest; lines >> address >> class_code >> ids && std::getline(lines, rest);)
    listed[address] = ids;
  sim::MemorySystemLog log;
  ScopedServices quiet(Services{nullptr, services().console, &log});
  for (const auto& root : linux_host::read_sysfs_registry("/sys").roots) collect_functions(root, found);
  EXPECT_EQ(found, listed);
}

// The file holds the registry as read, and scans as the tree itself does under --sysfs.
TEST(SysfsToMachine, WritesAMachineFileThatLoadsBackAndScansTheSame) {
  SysfsTree tree;
  larger_dock_machine(tree);
  const std::string file = (tree.path() / "machine.json").string();
  const auto written = run_berthctl({"sysfs-to-machine", "--sysfs", tree.path().string(), "--out", file});
  ASSERT_EQ(written.exit_status, 0) << written.err;
  EXPECT_EQ(nlohmann::json::parse(std::ifstream(file))["registry"],
            sim::registry_to_json(linux_host::read_sysfs_registry(tree.path())));
  const auto direct = run_berthctl({"--sysfs", tree.path().string(), "scan", "--json"});
  EXPECT_NE(direct.out.find(R"("count":1,)"), std::string::npos) << direct.out;
  EXPECT_EQ(run_berthctl({"--machine", file, "scan", "--json"}).out, direct.out);
}

TEST(UdevMonitor, GivesANonBlockingDescriptorThatDrainsWithoutWaiting) {
  auto monitor = linux_host::UdevMonitor::open();
  if (!monitor) GTEST_SKIP() << "udev's netlink socket cannot be opened here";
  EXPECT_NE(::fcntl(monitor->fd(), F_GETFL) & O_NONBLOCK, 0);
  monitor->drain();  // returns at once: nothing blocks when no event is pending
}

// A plain file as the dock controller's BAR5 opens like the real one, but it only holds what is written: the flash
// identity read must end in the bounded time-out, not a hang and not an identity made of the echoed command word.
TEST(SysfsFlashTest, APlainFileAsTheBarTimesOutInsteadOfAnswering) {
  SysfsTree tree;
  const Dock dock = larger_dock_machine(tree);
  write_file(dock.sata / "resource5", std::string(0x800, '\0'));
  const auto result = run_berthctl({"--sysfs", tree.path().string(), "flash", "id"});
  EXPECT_EQ(result.exit_status, 1) << result.out << result.err;
  EXPECT_NE(result.err.find("SPI command 009F2330 did not complete after 1000 polls"), std::string::npos) << result.err;
  EXPECT_EQ(result.out.find("9F2330"), std::string::npos) << result.out;
}

}  // namespace
}  // namespace berth
