#pragma once
// Sysfs trees in a temporary directory, laid out as the kernel lays them out: PCI
// functions nested under devices/pci0000:00 with bus/pci/devices links (and their
// 64-byte config, all an unprivileged reader gets), Thunderbolt
// devices under their NHI's domainN with bus/thunderbolt/devices links, libata ports
// with class/ata_port links, USB root hubs with peer links, disks under SCSI devices.
#include <cstdint>
#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace berth::testing {

namespace fs = std::filesystem;

class SysfsTree : public TempDir {
 public:
  const fs::path& root() const { return path(); }

  // A function below parent's directory (pci0000:00 when empty); a bridge when secondary >= 0.
  fs::path pci(const fs::path& parent, unsigned bus, unsigned device, std::uint32_t vendor_device,
               std::uint32_t class_code, int secondary = -1, std::uint32_t subsystem = 0);
  void thunderbolt_device(const fs::path& nhi, unsigned domain, const std::string& route, int authorized,
                          const std::string& unique_id);
  fs::path ata_port(const fs::path& controller, unsigned ata, unsigned port_no);
  fs::path root_hub(const fs::path& controller, unsigned bus, unsigned speed_mbits, unsigned ports);
  fs::path usb_device(const fs::path& hub, unsigned port) const;  // what is plugged into a root-hub port
  void disk(const fs::path& dir, const std::string& name, unsigned partitions = 0);
  void write(const fs::path& file, const std::string& text) const { write_file(file, text); }
  void link(const fs::path& link, const fs::path& target) const;  // relative, as the kernel's are
};

// A Thunderbolt host controller (upstream bridge at `bus`, NHI with domainN, two
// downstream bridges for docks at bus_a and bus_b) behind root port 00:0N.0.
struct Host {
  fs::path nhi, port_a, port_b;
  unsigned domain = 0, bus_a = 0, bus_b = 0;
};
Host add_host(SysfsTree& tree, unsigned domain, unsigned root_port, unsigned bus);

// A dock's PCI side behind a downstream bridge: Thunderbolt upstream bridge at `bus`,
// the USB controller with root hubs usbN (USB 2) and usbN+1 (USB 3) paired port by
// port, the SATA controller on type 10, and a downstream bridge at bus+4 (`chain`).
struct Dock {
  fs::path usb2, usb3, sata, chain;
};
Dock add_dock(SysfsTree& tree, const fs::path& below, unsigned bus, unsigned type, unsigned usb_bus);
// Its unique_id: UID low word, 0x003D and the type, then eight 0xff bytes.
std::string dock_unique_id(unsigned type, std::uint32_t low);

// The larger dock at depth 1 (GUID low 0x11223344) with sdab on USB 2 port 1, sdb with
// two partitions on USB 3 port 2, sr0 on USB 2 port 3, sdd on eSATA port 1, sdc on 2.
Dock larger_dock_machine(SysfsTree& tree);

}  // namespace berth::testing
