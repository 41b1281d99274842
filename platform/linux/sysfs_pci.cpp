#include "platform/linux/sysfs_pci.h"

#include <algorithm>

#include "platform/linux/sysfs_files.h"
#include "platform/linux/sysfs_pci_identity.h"
#include "platform/services.h"

namespace berth::linux_host {
namespace {

struct Found {
  std::string address;
  PciAddress parts;
  fs::path dir;
  std::ptrdiff_t parent = -1;  // index into the sorted list; -1: on a host bridge's root bus
};

// bus/pci/devices holds one link per function into devices/, where the directories
// nest as the functions do. The links are read as text and must stay inside devices/.
std::vector<Found> find_functions(const fs::path& root) {
  const fs::path bus = root / "bus/pci/devices";
  const auto names = list_directory(bus);
  if (names.size() >= kMaxDirectoryEntries)
    syslog_printf("sysfs: more than %zu PCI functions; the rest are left out", kMaxDirectoryEntries);
  std::vector<Found> found;
  for (const auto& name : names) {
    const auto parts = parse_pci_address(name);
    const auto dir = resolve_link(bus / name, root / "devices");
    if (!parts || !dir || dir->filename() != name || !is_real_directory(*dir)) {
      syslog_printf("sysfs: bus/pci/devices/%s is not a link to a PCI function under devices/; skipped", name.c_str());
      continue;
    }
    found.push_back({name, *parts, *dir});
  }
  std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.dir < b.dir; });
  return found;
}

// Sorted by path, a function's ancestors come before it, so the functions whose
// directories enclose the current one are a stack.
void link_parents(std::vector<Found>& found) {
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < found.size(); ++i) {
    while (!open.empty() && !is_within(found[i].dir, found[open.back()].dir)) open.pop_back();
    if (open.size() >= kMaxPciDepth) {
      syslog_printf("sysfs: %s lies more than %zu bridges deep; skipped", found[i].address.c_str(), kMaxPciDepth);
      found[i].parent = -2;
      continue;
    }
    if (!open.empty()) found[i].parent = static_cast<std::ptrdiff_t>(open.back());
    open.push_back(i);
  }
}

PciFunction make_function(const std::vector<Found>& found, std::size_t index,
                          const std::vector<std::vector<std::size_t>>& children) {
  const Found& f = found[index];
  PciFunction function;
  function.address = f.address;
  function.dir = f.dir;
  const auto identity = read_pci_identity(f.dir, f.address);
  if (identity) {
    function.vendor = identity->vendor;
    function.bridge = identity->bridge;
    function.props = identity_properties(*identity);
  }
  function.props.push_back(
      {PropertyValue::make_text("pcidebug"), PropertyValue::make_text(pcidebug_text(f.parts, identity ? &*identity : nullptr))});
  for (std::size_t child : children[index]) function.children.push_back(make_function(found, child, children));
  return function;
}

bool chain_in(std::vector<PciFunction>& functions, const fs::path& dir, std::vector<PciFunction*>& chain) {
  for (auto& f : functions) {
    if (!is_within(dir, f.dir)) continue;
    chain.push_back(&f);
    if (f.dir == dir || chain_in(f.children, dir, chain)) return true;
    chain.pop_back();
  }
  return false;
}

void visit_all(std::vector<PciFunction>& functions, const std::function<void(PciFunction&)>& visit) {
  for (auto& f : functions) {
    visit(f);
    visit_all(f.children, visit);
  }
}

}  // namespace

std::vector<PciHost> read_pci_tree(const fs::path& sysfs_root) {
  auto found = find_functions(sysfs_root);
  link_parents(found);
  std::vector<std::vector<std::size_t>> children(found.size());
  std::vector<PciHost> hosts;
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (found[i].parent >= 0) children[static_cast<std::size_t>(found[i].parent)].push_back(i);
  }
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (found[i].parent != -1) continue;
    const fs::path host_dir = found[i].dir.parent_path();
    auto host = std::find_if(hosts.begin(), hosts.end(), [&](const PciHost& h) { return h.dir == host_dir; });
    if (host == hosts.end()) host = hosts.insert(hosts.end(), {host_dir.filename().string(), host_dir, {}});
    host->functions.push_back(make_function(found, i, children));
  }
  return hosts;
}

std::vector<PciFunction*> chain_to(std::vector<PciHost>& hosts, const fs::path& dir) {
  std::vector<PciFunction*> chain;
  for (auto& host : hosts)
    if (chain_in(host.functions, dir, chain)) return chain;
  return {};
}

void for_each_function(std::vector<PciHost>& hosts, const std::function<void(PciFunction&)>& visit) {
  for (auto& host : hosts) visit_all(host.functions, visit);
}

}  // namespace berth::linux_host
