// The sysfs registry on this machine's own /sys, berthctl sysfs-to-machine, and the
// udev monitor.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "platform/linux/sysfs_files.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/linux/udev_monitor.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/registry_json.h"
#include "platform/services.h"
#include "tests/linux/sysfs_tree.h"
#include "tests/support/run_berthctl.h"

namespace berth {
namespace {

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

}  // namespace
}  // namespace berth
