#include "tests/linux/sysfs_tree.h"

#include <cstdio>

namespace berth::testing {
namespace {

constexpr std::uint32_t kTbBridge = 0x80861547;
constexpr std::uint32_t kBridgeClass = 0x060400;

std::string text(const char* format, unsigned a, unsigned b = 0) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, a, b);
  return buffer;
}

// The first 64 bytes of the configuration header, all an unprivileged reader gets.
std::string config_bytes(std::uint32_t vendor_device, std::uint32_t class_code, int secondary, std::uint32_t subsystem) {
  std::string config(64, '\0');
  const auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) config[at + i] = static_cast<char>(value >> (8 * i));
  };
  put(0x00, vendor_device >> 16, 2);
  put(0x02, vendor_device & 0xFFFF, 2);
  put(0x09, class_code, 3);
  if (secondary >= 0) {
    put(0x0E, 1, 1);
    put(0x19, static_cast<unsigned>(secondary) | 0xFF << 8, 2);  // secondary, subordinate
  } else {
    put(0x2C, subsystem >> 16, 2);
    put(0x2E, subsystem & 0xFFFF, 2);
  }
  return config;
}

fs::path hub_port(const fs::path& hub, unsigned port) {
  const std::string n = hub.filename().string().substr(3);
  return hub / (n + "-0:1.0") / ("usb" + n + "-port" + std::to_string(port));
}

}  // namespace

void SysfsTree::link(const fs::path& link, const fs::path& target) const {
  fs::create_directories(link.parent_path());
  fs::create_symlink(target.lexically_relative(link.parent_path()), link);
}

fs::path SysfsTree::pci(const fs::path& parent, unsigned bus, unsigned device, std::uint32_t vendor_device,
                        std::uint32_t class_code, int secondary, std::uint32_t subsystem) {
  const std::string address = text("0000:%02x:%02x.0", bus, device);
  const fs::path dir = (parent.empty() ? root() / "devices/pci0000:00" : parent) / address;
  write(dir / "config", config_bytes(vendor_device, class_code, secondary, subsystem));
  write(dir / "vendor", text("0x%04x\n", vendor_device >> 16));
  write(dir / "device", text("0x%04x\n", vendor_device & 0xFFFF));
  write(dir / "class", text("0x%06x\n", class_code));
  link(root() / "bus/pci/devices" / address, dir);
  return dir;
}

void SysfsTree::thunderbolt_device(const fs::path& nhi, unsigned domain, const std::string& route, int authorized,
                                   const std::string& unique_id) {
  const std::string name = std::to_string(domain) + "-" + route;
  const fs::path dir = nhi / ("domain" + std::to_string(domain)) / name;
  write(dir / "authorized", std::to_string(authorized) + "\n");
  write(dir / "unique_id", unique_id + "\n");
  link(root() / "bus/thunderbolt/devices" / name, dir);
}

fs::path SysfsTree::ata_port(const fs::path& controller, unsigned ata, unsigned port_no) {
  const std::string name = "ata" + std::to_string(ata);
  write(controller / name / "ata_port" / name / "port_no", std::to_string(port_no) + "\n");
  link(root() / "class/ata_port" / name, controller / name / "ata_port" / name);
  return controller / name;
}

fs::path SysfsTree::root_hub(const fs::path& controller, unsigned bus, unsigned speed_mbits, unsigned ports) {
  const fs::path hub = controller / ("usb" + std::to_string(bus));
  write(hub / "speed", std::to_string(speed_mbits) + "\n");
  for (unsigned p = 1; p <= ports; ++p) fs::create_directories(hub_port(hub, p));
  return hub;
}

fs::path SysfsTree::usb_device(const fs::path& hub, unsigned port) const {
  const std::string device = hub.filename().string().substr(3) + "-" + std::to_string(port);
  return hub / device / (device + ":1.0");
}

void SysfsTree::disk(const fs::path& dir, const std::string& name, unsigned partitions) {
  const fs::path scsi = dir / "host7/target7:0:0/7:0:0:0";
  write(scsi / "vendor", "ATA     \n");
  write(scsi / "model", "WDC WD40EFRX-68N\n");
  write(scsi / "vpd_pg80", std::string("\0\x80\0\x0c", 4) + "  WD-WCC7K0AB");
  fs::create_directories(scsi / "block" / name);
  for (unsigned k = 1; k <= partitions; ++k)
    write(scsi / "block" / name / (name + std::to_string(k)) / "partition", std::to_string(k) + "\n");
}

Host add_host(SysfsTree& tree, unsigned domain, unsigned root_port, unsigned bus) {
  Host host{{}, {}, {}, domain, bus + 0x10, bus + 0x40};
  const auto port = tree.pci({}, 0, root_port, 0x80861901, kBridgeClass, static_cast<int>(bus));
  const auto up = tree.pci(port, bus, 0, kTbBridge, kBridgeClass, static_cast<int>(bus + 1));
  const auto to_nhi = tree.pci(up, bus + 1, 0, kTbBridge, kBridgeClass, static_cast<int>(bus + 2));
  host.nhi = tree.pci(to_nhi, bus + 2, 0, 0x8086156C, 0x088000);
  const std::string name = "domain" + std::to_string(domain);
  fs::create_directories(host.nhi / name);
  tree.link(tree.root() / "bus/thunderbolt/devices" / name, host.nhi / name);
  host.port_a = tree.pci(up, bus + 1, 3, kTbBridge, kBridgeClass, static_cast<int>(host.bus_a));
  host.port_b = tree.pci(up, bus + 1, 4, kTbBridge, kBridgeClass, static_cast<int>(host.bus_b));
  return host;
}

Dock add_dock(SysfsTree& tree, const fs::path& below, unsigned bus, unsigned type, unsigned usb_bus) {
  Dock dock;
  const auto up = tree.pci(below, bus, 0, kTbBridge, kBridgeClass, static_cast<int>(bus + 1));
  const auto to_usb = tree.pci(up, bus + 1, 0, kTbBridge, kBridgeClass, static_cast<int>(bus + 2));
  const auto usb = tree.pci(to_usb, bus + 2, 0, 0x1B731100, 0x0C0330, -1, 0x1B731100);
  dock.usb2 = tree.root_hub(usb, usb_bus, 480, 4);
  dock.usb3 = tree.root_hub(usb, usb_bus + 1, 5000, 4);
  for (unsigned p = 1; p <= 4; ++p) {
    tree.link(hub_port(dock.usb2, p) / "peer", hub_port(dock.usb3, p));
    tree.link(hub_port(dock.usb3, p) / "peer", hub_port(dock.usb2, p));
  }
  if (type == 10) {
    const auto to_sata = tree.pci(up, bus + 1, 1, kTbBridge, kBridgeClass, static_cast<int>(bus + 3));
    dock.sata = tree.pci(to_sata, bus + 3, 0, 0x1B210612, 0x010601, -1, 0x1AB61060);
  }
  dock.chain = tree.pci(up, bus + 1, 2, kTbBridge, kBridgeClass, static_cast<int>(bus + 4));
  return dock;
}

std::string dock_unique_id(unsigned type, std::uint32_t low) {
  return text("%08x-%02x00-3d00-ffff-ffffffffffff", __builtin_bswap32(low), type);
}

Dock larger_dock_machine(SysfsTree& tree) {
  const Host host = add_host(tree, 0, 1, 0x05);
  const Dock dock = add_dock(tree, host.port_a, host.bus_a, 10, 3);
  tree.thunderbolt_device(host.nhi, 0, "1", 1, dock_unique_id(10, 0x11223344));
  tree.disk(tree.usb_device(dock.usb2, 1), "sdab");
  tree.disk(tree.usb_device(dock.usb3, 2), "sdb", 2);
  tree.disk(tree.usb_device(dock.usb2, 3), "sr0");
  tree.disk(tree.ata_port(dock.sata, 3, 1), "sdd");
  tree.disk(tree.ata_port(dock.sata, 4, 2), "sdc");
  return dock;
}

}  // namespace berth::testing
