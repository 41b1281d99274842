#include "platform/linux/sysfs_storage.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <string>

#include "platform/linux/registry_entry.h"
#include "platform/linux/sysfs_block.h"
#include "platform/linux/sysfs_files.h"
#include "platform/services.h"

namespace berth::linux_host {
namespace {

// ataN/hostM/targetM:C:T/M:C:T:L/block/sdX, with room for port multipliers.
constexpr std::size_t kSataDiskDepth = 8;
// N-K/N-K:1.0/hostM/target/lun/block/sdX, plus a level for each hub tier in between.
constexpr std::size_t kUsbDiskDepth = 16;
constexpr std::uint64_t kMaxSataPort = 32;
constexpr unsigned kMaxUsbPort = 255;

// The number after prefix in "ata3" or "usb-port12", nothing for anything else.
std::optional<unsigned> number_after(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || name.size() == prefix.size() || name.size() > prefix.size() + 4) return std::nullopt;
  name.remove_prefix(prefix.size());
  unsigned value = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), value);
  if (error != std::errc{} || end != name.data() + name.size()) return std::nullopt;
  return value;
}

std::vector<sim::RegistryEntry> disks_below(const fs::path& dir, std::size_t depth) {
  std::vector<sim::RegistryEntry> disks;
  for (const auto& device : find_block_devices(dir, depth))
    if (auto entry = disk_entry(device)) disks.push_back(std::move(*entry));
  return disks;
}

struct RootHub {
  unsigned bus = 0;
  fs::path dir;
  bool usb2 = false;
};

std::vector<RootHub> root_hubs(const fs::path& function_dir) {
  std::vector<RootHub> hubs;
  for (const auto& name : list_directory(function_dir)) {
    const auto bus = number_after(name, "usb");
    if (!bus || !is_real_directory(function_dir / name)) continue;
    const auto speed = read_number(function_dir / name / "speed");  // Mbit/s
    hubs.push_back({*bus, function_dir / name, speed && *speed <= 480});
  }
  std::stable_sort(hubs.begin(), hubs.end(), [](const RootHub& a, const RootHub& b) { return a.usb2 && !b.usb2; });
  return hubs;
}

struct HubPort {
  std::string name;  // "usb3-port2"
  fs::path dir;
  fs::path device_dir;  // what is plugged in: usb3/3-2
  unsigned number = 0;
};

std::vector<HubPort> ports_of(const RootHub& hub) {
  const std::string bus = std::to_string(hub.bus);
  const fs::path interface = hub.dir / (bus + "-0:1.0");
  std::vector<HubPort> ports;
  for (const auto& name : list_directory(interface)) {
    const auto port = number_after(name, "usb" + bus + "-port");
    if (!port || *port == 0 || *port > kMaxUsbPort || !is_real_directory(interface / name)) continue;
    ports.push_back({name, interface / name, hub.dir / (bus + "-" + std::to_string(*port)), *port});
  }
  std::sort(ports.begin(), ports.end(), [](const HubPort& a, const HubPort& b) { return a.number < b.number; });
  return ports;
}

// Physical port number -> the device directories of its USB 2 and USB 3 halves.
std::map<unsigned, std::vector<fs::path>> physical_ports(const fs::path& function_dir) {
  std::map<std::string, unsigned> numbered;  // hub port name -> physical number
  std::map<unsigned, std::vector<fs::path>> physical;
  std::vector<HubPort> unpaired;
  bool first = true;
  for (const auto& hub : root_hubs(function_dir)) {
    for (auto& port : ports_of(hub)) {
      if (!first) {
        const auto peer = resolve_link(port.dir / "peer", function_dir);
        const auto known = peer ? numbered.find(peer->filename().string()) : numbered.end();
        if (known == numbered.end()) {
          unpaired.push_back(std::move(port));
          continue;
        }
        port.number = known->second;
      }
      numbered[port.name] = port.number;
      physical[port.number].push_back(port.device_dir);
    }
    first = false;
  }
  unsigned next = physical.empty() ? 1 : physical.rbegin()->first + 1;
  for (const auto& port : unpaired) physical[next++].push_back(port.device_dir);
  return physical;
}

}  // namespace

std::vector<sim::RegistryEntry> sata_ports(const fs::path& sysfs_root, const fs::path& function_dir) {
  std::vector<std::pair<std::uint64_t, sim::RegistryEntry>> ports;
  for (const auto& name : list_directory(function_dir)) {
    if (!number_after(name, "ata") || !is_real_directory(function_dir / name)) continue;
    const auto port_dir = resolve_link(sysfs_root / "class/ata_port" / name, sysfs_root / "devices");
    const auto port_no = port_dir ? read_number(*port_dir / "port_no") : std::nullopt;
    if (!port_no || *port_no == 0 || *port_no > kMaxSataPort) {
      syslog_printf("sysfs: %s: no port number in class/ata_port/%s/port_no; its disks are left out",
                    function_dir.filename().c_str(), name.c_str());
      continue;
    }
    sim::RegistryEntry port = make_entry("PRT" + std::to_string(*port_no - 1), "ATAPort");
    port.children = disks_below(function_dir / name, kSataDiskDepth);
    ports.emplace_back(*port_no, std::move(port));
  }
  std::stable_sort(ports.begin(), ports.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<sim::RegistryEntry> entries;
  for (auto& [number, port] : ports) entries.push_back(std::move(port));
  return entries;
}

std::vector<sim::RegistryEntry> usb_ports(const fs::path& function_dir) {
  std::vector<sim::RegistryEntry> entries;
  for (const auto& [number, device_dirs] : physical_ports(function_dir)) {
    sim::RegistryEntry port = make_entry("port" + std::to_string(number), "USBPort", {number_property("PortNum", number)});
    for (const auto& dir : device_dirs) {
      auto disks = disks_below(dir, kUsbDiskDepth);
      std::move(disks.begin(), disks.end(), std::back_inserter(port.children));
    }
    entries.push_back(std::move(port));
  }
  return entries;
}

}  // namespace berth::linux_host
