#include "platform/linux/sysfs_registry.h"

#include <exception>

#include "platform/linux/registry_entry.h"
#include "platform/linux/sysfs_pci.h"
#include "platform/linux/sysfs_storage.h"
#include "platform/linux/sysfs_thunderbolt.h"
#include "platform/services.h"

namespace berth::linux_host {
namespace {

sim::RegistryEntry entry_of(PciFunction& function) {
  sim::RegistryEntry entry = make_entry(function.address, "IOPCIDevice", std::move(function.props));
  for (auto& child : function.children) entry.children.push_back(entry_of(child));
  std::move(function.below.begin(), function.below.end(), std::back_inserter(entry.children));
  return entry;
}

sim::RegistryModel build(const std::filesystem::path& sysfs_root) {
  auto hosts = read_pci_tree(sysfs_root);
  assign_thunderbolt_guids(sysfs_root, hosts);
  for_each_function(hosts, [&](PciFunction& function) {
    function.below = sata_ports(sysfs_root, function.dir);
    auto usb = usb_ports(function.dir);
    std::move(usb.begin(), usb.end(), std::back_inserter(function.below));
  });
  sim::RegistryEntry root = make_entry("Root", "IORegistryEntry");
  for (auto& host : hosts) {
    sim::RegistryEntry bridge = make_entry(host.name, "PCIHostBridge");
    for (auto& function : host.functions) bridge.children.push_back(entry_of(function));
    root.children.push_back(std::move(bridge));
  }
  sim::RegistryModel model;
  model.roots.push_back(std::move(root));
  return model;
}

}  // namespace

sim::RegistryModel read_sysfs_registry(const std::filesystem::path& sysfs_root) {
  try {
    return build(sysfs_root);
  } catch (const std::exception& error) {  // out of memory, or a path the system refuses
    syslog_printf("sysfs: reading %s failed (%s); no devices", sysfs_root.c_str(), error.what());
    return {};
  }
}

}  // namespace berth::linux_host
