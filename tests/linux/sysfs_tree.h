#pragma once
// Sysfs trees for tests, in a temporary directory, laid out the way the kernel lays
// them out: functions nested under devices/pci0000:00 with links from bus/pci/devices,
// Thunderbolt devices under their NHI with links from bus/thunderbolt/devices, libata
// ports with class/ata_port links, USB root hubs with peer links, disks under SCSI
// devices. Docks and hosts are built from these pieces.
#include <cstdint>
#include <filesystem>
#include <string>

namespace berth::testing {

namespace fs = std::filesystem;

struct PciFn {
  std::uint16_t vendor = 0;
  std::uint16_t device = 0;
  std::uint32_t class_code = 0;
  std::uint16_t sub_vendor = 0;
  std::uint16_t sub_device = 0;
  int secondary = -1;  // a bridge when set
  int subordinate = -1;
};

class SysfsTree {
 public:
  SysfsTree();
  ~SysfsTree();
  SysfsTree(const SysfsTree&) = delete;
  SysfsTree& operator=(const SysfsTree&) = delete;

  const fs::path& root() const { return root_; }
  // The function's directory below parent (or below pci0000:00 when parent is empty).
  fs::path pci(const fs::path& parent, const std::string& address, const PciFn& fn);
  void thunderbolt_device(const fs::path& nhi, unsigned domain, const std::string& route, int authorized,
                          const std::string& unique_id);
  fs::path ata_port(const fs::path& controller, unsigned ata, unsigned port_no);
  // Root hub usbBUS with `ports` ports; speed in Mbit/s (480: USB 2).
  fs::path root_hub(const fs::path& controller, unsigned bus, unsigned speed, unsigned ports);
  void pair_ports(const fs::path& hub_a, unsigned port_a, const fs::path& hub_b, unsigned port_b);
  // The directory of the device plugged into a root hub's port.
  fs::path usb_device(const fs::path& hub, unsigned port);
  // A disk with its SCSI device, below dir; partitions 1..n.
  void disk(const fs::path& dir, const std::string& name, unsigned partitions = 0);

  void write(const fs::path& file, const std::string& text) const;
  void link(const fs::path& link, const fs::path& target) const;  // relative, as the kernel's

 private:
  fs::path root_;
};

// A Thunderbolt host controller behind root port 00:0N.0: its upstream bridge at
// `bus`, the NHI (with domainN) and two downstream bridges for docks.
struct Host {
  fs::path nhi, port_a, port_b;
  unsigned domain = 0, bus_a = 0, bus_b = 0;
};
Host add_host(SysfsTree& tree, unsigned domain, unsigned root_port, unsigned bus);

// A dock's PCI side behind a downstream bridge: its Thunderbolt upstream bridge at
// `bus`, the USB controller with a USB 2 and a USB 3 root hub (ports paired 1:1),
// the SATA controller on type 10, and a downstream bridge at bus+4 for a further dock.
struct Dock {
  fs::path usb2, usb3, sata, chain;
  unsigned chain_bus = 0;
};
Dock add_dock(SysfsTree& tree, const fs::path& below, unsigned bus, unsigned type, unsigned usb_bus);

// One dock of the larger model at depth 1 of a host, with a USB disk beyond sdz on
// USB 2 port 1, a partitioned disk on USB 3 port 2, an optical drive on USB 2 port 3,
// and disks on both eSATA ports: units USB 27, 1, 192, eSATA 3, 2; GUID low 0x11223344.
Dock larger_dock_machine(SysfsTree& tree);

// unique_id text of a Berthline dock: UID low word, then 0x003D and the type, then
// eight 0xff bytes.
std::string dock_unique_id(unsigned type, std::uint32_t low);

}  // namespace berth::testing
