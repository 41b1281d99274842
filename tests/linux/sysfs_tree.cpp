#include "tests/linux/sysfs_tree.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace berth::testing {
namespace {

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, value);
  return text;
}

std::string pci_address(unsigned bus, unsigned device) {
  char text[16];
  std::snprintf(text, sizeof text, "0000:%02x:%02x.0", bus, device);
  return text;
}

std::string config_bytes(const PciFn& fn) {
  std::string config(64, '\0');
  const auto put16 = [&](std::size_t at, unsigned v) {
    config[at] = static_cast<char>(v & 0xFF);
    config[at + 1] = static_cast<char>(v >> 8);
  };
  put16(0x00, fn.vendor);
  put16(0x02, fn.device);
  config[0x09] = static_cast<char>(fn.class_code & 0xFF);
  put16(0x0A, fn.class_code >> 8);
  if (fn.secondary >= 0) {
    config[0x0E] = 1;
    config[0x19] = static_cast<char>(fn.secondary);
    config[0x1A] = static_cast<char>(fn.subordinate);
  } else {
    put16(0x2C, fn.sub_vendor);
    put16(0x2E, fn.sub_device);
  }
  return config;
}

PciFn bridge(std::uint16_t vendor, std::uint16_t device, unsigned secondary, unsigned subordinate) {
  return {vendor, device, 0x060400, 0, 0, static_cast<int>(secondary), static_cast<int>(subordinate)};
}

fs::path hub_port(const fs::path& hub, unsigned port) {
  const std::string n = hub.filename().string().substr(3);
  return hub / (n + "-0:1.0") / ("usb" + n + "-port" + std::to_string(port));
}

}  // namespace

SysfsTree::SysfsTree() {
  std::string pattern = (fs::temp_directory_path() / "berth-sysfs-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary directory");
  root_ = pattern;
}

SysfsTree::~SysfsTree() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

void SysfsTree::write(const fs::path& file, const std::string& text) const {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

void SysfsTree::link(const fs::path& link, const fs::path& target) const {
  fs::create_directories(link.parent_path());
  fs::create_symlink(target.lexically_relative(link.parent_path()), link);
}

fs::path SysfsTree::pci(const fs::path& parent, const std::string& address, const PciFn& fn) {
  const fs::path dir = (parent.empty() ? root_ / "devices/pci0000:00" : parent) / address;
  write(dir / "config", config_bytes(fn));
  write(dir / "vendor", hex(fn.vendor, 4) + "\n");
  write(dir / "device", hex(fn.device, 4) + "\n");
  write(dir / "class", hex(fn.class_code, 6) + "\n");
  write(dir / "subsystem_vendor", hex(fn.sub_vendor, 4) + "\n");
  write(dir / "subsystem_device", hex(fn.sub_device, 4) + "\n");
  link(root_ / "bus/pci/devices" / address, dir);
  return dir;
}

void SysfsTree::thunderbolt_device(const fs::path& nhi, unsigned domain, const std::string& route, int authorized,
                                   const std::string& unique_id) {
  const std::string name = std::to_string(domain) + "-" + route;
  const fs::path dir = nhi / ("domain" + std::to_string(domain)) / name;
  write(dir / "authorized", std::to_string(authorized) + "\n");
  write(dir / "unique_id", unique_id + "\n");
  link(root_ / "bus/thunderbolt/devices" / name, dir);
}

fs::path SysfsTree::ata_port(const fs::path& controller, unsigned ata, unsigned port_no) {
  const std::string name = "ata" + std::to_string(ata);
  const fs::path dir = controller / name;
  write(dir / "ata_port" / name / "port_no", std::to_string(port_no) + "\n");
  link(root_ / "class/ata_port" / name, dir / "ata_port" / name);
  return dir;
}

fs::path SysfsTree::root_hub(const fs::path& controller, unsigned bus, unsigned speed, unsigned ports) {
  const std::string n = std::to_string(bus);
  const fs::path hub = controller / ("usb" + n);
  write(hub / "speed", std::to_string(speed) + "\n");
  for (unsigned p = 1; p <= ports; ++p) fs::create_directories(hub / (n + "-0:1.0") / ("usb" + n + "-port" + std::to_string(p)));
  return hub;
}

void SysfsTree::pair_ports(const fs::path& hub_a, unsigned port_a, const fs::path& hub_b, unsigned port_b) {
  link(hub_port(hub_a, port_a) / "peer", hub_port(hub_b, port_b));
  link(hub_port(hub_b, port_b) / "peer", hub_port(hub_a, port_a));
}

fs::path SysfsTree::usb_device(const fs::path& hub, unsigned port) {
  const std::string device = hub.filename().string().substr(3) + "-" + std::to_string(port);
  return hub / device / (device + ":1.0");
}

void SysfsTree::disk(const fs::path& dir, const std::string& name, unsigned partitions) {
  const fs::path scsi = dir / "host7/target7:0:0/7:0:0:0";
  write(scsi / "vendor", "ATA     \n");
  write(scsi / "model", "WDC WD40EFRX-68N\n");
  write(scsi / "vpd_pg80", std::string("\0\x80\0\x0c", 4) + "  WD-WCC7K0AB");
  for (unsigned k = 1; k <= partitions; ++k)
    write(scsi / "block" / name / (name + std::to_string(k)) / "partition", std::to_string(k) + "\n");
  fs::create_directories(scsi / "block" / name);
}

Host add_host(SysfsTree& tree, unsigned domain, unsigned root_port, unsigned bus) {
  Host host;
  host.domain = domain;
  host.bus_a = bus + 0x10;
  host.bus_b = bus + 0x40;
  const auto port = tree.pci({}, pci_address(0, root_port), bridge(0x8086, 0x1901, bus, bus + 0x7F));
  const auto up = tree.pci(port, pci_address(bus, 0), bridge(0x8086, 0x1547, bus + 1, bus + 0x7F));
  const auto to_nhi = tree.pci(up, pci_address(bus + 1, 0), bridge(0x8086, 0x1547, bus + 2, bus + 2));
  host.nhi = tree.pci(to_nhi, pci_address(bus + 2, 0), {0x8086, 0x156C, 0x088000, 0, 0, -1, -1});
  fs::create_directories(host.nhi / ("domain" + std::to_string(domain)));
  tree.link(tree.root() / "bus/thunderbolt/devices" / ("domain" + std::to_string(domain)),
            host.nhi / ("domain" + std::to_string(domain)));
  host.port_a = tree.pci(up, pci_address(bus + 1, 3), bridge(0x8086, 0x1547, host.bus_a, host.bus_a + 0x2F));
  host.port_b = tree.pci(up, pci_address(bus + 1, 4), bridge(0x8086, 0x1547, host.bus_b, host.bus_b + 0x2F));
  return host;
}

Dock add_dock(SysfsTree& tree, const fs::path& below, unsigned bus, unsigned type, unsigned usb_bus) {
  Dock dock;
  dock.chain_bus = bus + 4;
  const auto up = tree.pci(below, pci_address(bus, 0), bridge(0x8086, 0x1547, bus + 1, bus + 0x1F));
  const auto to_usb = tree.pci(up, pci_address(bus + 1, 0), bridge(0x8086, 0x1547, bus + 2, bus + 2));
  const auto usb = tree.pci(to_usb, pci_address(bus + 2, 0), {0x1B73, 0x1100, 0x0C0330, 0x1B73, 0x1100, -1, -1});
  dock.usb2 = tree.root_hub(usb, usb_bus, 480, 4);
  dock.usb3 = tree.root_hub(usb, usb_bus + 1, 5000, 4);
  for (unsigned p = 1; p <= 4; ++p) tree.pair_ports(dock.usb2, p, dock.usb3, p);
  if (type == 10) {
    const auto to_sata = tree.pci(up, pci_address(bus + 1, 1), bridge(0x8086, 0x1547, bus + 3, bus + 3));
    dock.sata = tree.pci(to_sata, pci_address(bus + 3, 0), {0x1B21, 0x0612, 0x010601, 0x1AB6, 0x1060, -1, -1});
  }
  dock.chain = tree.pci(up, pci_address(bus + 1, 2), bridge(0x8086, 0x1547, bus + 4, bus + 0x1F));
  return dock;
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

std::string dock_unique_id(unsigned type, std::uint32_t low) {
  char text[40];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x00-3d00-ffff-ffffffffffff", low & 0xFF, (low >> 8) & 0xFF,
                (low >> 16) & 0xFF, low >> 24, type);
  return text;
}

}  // namespace berth::testing
