// The sysfs registry on this machine's own /sys, berthctl sysfs-to-machine, and the
// udev monitor.
#include <fcntl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

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

std::string id_text(const sim::RegistryEntry& entry) {
  std::string text;
  for (const char* key : {"vendor-id", "device-id"})
    for (const auto& p : entry.props)
      if (p.key.text == key && p.value.bytes.size() == 4)
        text += format("%s%02x%02x", text.empty() ? "" : ":", p.value.bytes[1], p.value.bytes[0]);
  return text;
}

TEST(SysfsRegistry, FindsEveryPciFunctionOfThisMachineThatLspciListsWithItsIds) {
  if (linux_host::list_directory("/sys/bus/pci/devices").empty()) GTEST_SKIP() << "this machine's /sys shows no PCI";
  std::string listing;
  FILE* lspci = ::popen("lspci -nD 2>/dev/null", "r");
  for (char buffer[512]; lspci && std::fgets(buffer, sizeof buffer, lspci);) listing += buffer;
  if (!lspci || ::pclose(lspci) != 0 || listing.empty()) GTEST_SKIP() << "lspci is missing (Debian package pciutils)";
  std::map<std::string, std::string> listed;  // "0000:00:02.0" -> "8086:1237"
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    char address[32];
    unsigned vendor = 0, device = 0;
    if (std::sscanf(line.c_str(), "%31s %*s %x:%x", address, &vendor, &device) == 3)
      listed[address] = format("%04x:%04x", vendor, device);
  }
  sim::MemorySystemLog log;
  ScopedServices quiet(Services{nullptr, services().console, &log});
  std::map<std::string, std::string> found;
  const std::function<void(const sim::RegistryEntry&)> collect = [&](const sim::RegistryEntry& entry) {
    if (entry.class_name == "IOPCIDevice") found[entry.name] = id_text(entry);
    for (const auto& child : entry.children) collect(child);
  };
  for (const auto& root : linux_host::read_sysfs_registry("/sys").roots) collect(root);
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
