#include "platform/linux/sysfs_thunderbolt.h"

#include <charconv>
#include <map>
#include <string>

#include "platform/linux/sysfs_files.h"
#include "platform/services.h"

namespace berth::linux_host {
namespace {

constexpr std::uint16_t kIntel = 0x8086;
// A route string holds one byte per hop; the kernel's is 64 bits wide.
constexpr std::size_t kMaxRouteDepth = 8;

struct Router {
  std::string name;  // "0-301"
  fs::path dir;
  unsigned depth = 0;
  bool authorized = false;
};

// "<domain>-<route in hex>"; the host's own router (route 0) and retimers ("0-0:1.1")
// are not devices that carry a dock. Another computer (an XDomain peer) is named like a
// router but has no `authorized` file, so it is logged and gets no GUID.
std::optional<std::pair<unsigned, unsigned>> domain_and_depth(std::string_view name) {
  const auto dash = name.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash > 4) return std::nullopt;
  const std::string_view route_text = name.substr(dash + 1);
  unsigned domain = 0;
  std::uint64_t route = 0;
  const auto d = std::from_chars(name.data(), name.data() + dash, domain);
  const auto r = std::from_chars(route_text.data(), route_text.data() + route_text.size(), route, 16);
  if (d.ec != std::errc{} || d.ptr != name.data() + dash || route_text.empty() || route_text.size() > 16 ||
      r.ec != std::errc{} || r.ptr != route_text.data() + route_text.size() || route == 0)
    return std::nullopt;
  unsigned depth = 0;
  for (; route != 0; route >>= 8) ++depth;
  return std::pair{domain, depth};
}

std::map<unsigned, std::vector<Router>> read_routers(const fs::path& root) {
  const fs::path bus = root / "bus/thunderbolt/devices";
  std::map<unsigned, std::vector<Router>> domains;
  std::error_code error;
  if (!fs::is_directory(bus, error))
    syslog_printf("sysfs: no bus/thunderbolt (the thunderbolt driver is not loaded): no device gets a GUID");
  for (const auto& name : list_directory(bus)) {
    const auto place = domain_and_depth(name);
    if (!place) continue;
    const auto dir = resolve_link(bus / name, root / "devices");
    if (!dir) {
      syslog_printf("sysfs: bus/thunderbolt/devices/%s is not a link into devices/; skipped", name.c_str());
      continue;
    }
    const auto authorized = read_number(*dir / "authorized");
    // 1: authorized; 2: authorized after a key challenge. Either way its PCIe is tunnelled.
    const bool tunnelled = authorized && *authorized != 0;
    if (!tunnelled)
      syslog_printf("sysfs: Thunderbolt device %s is %s: no PCIe tunnel, so no GUID", name.c_str(),
                    authorized ? "not authorized" : "of unknown authorization");
    domains[place->first].push_back({name, *dir, place->second, tunnelled});
  }
  return domains;
}

bool is_thunderbolt_bridge(const PciFunction& f) { return f.bridge && f.vendor == kIntel; }

// The downstream bridges of a Thunderbolt controller's upstream bridge.
std::vector<PciFunction*> downstream_ports(PciFunction& upstream) {
  std::vector<PciFunction*> ports;
  for (auto& port : upstream.children)
    if (is_thunderbolt_bridge(port)) ports.push_back(&port);
  return ports;
}

// A Thunderbolt controller shows on PCI as an upstream bridge over downstream bridges;
// a PCIe tunnel runs from a downstream bridge to the next controller's upstream bridge.
void collect_upstream_bridges(const std::vector<PciFunction*>& ports, unsigned depth,
                              std::vector<std::vector<PciFunction*>>& by_depth) {
  if (depth + 1 >= by_depth.size()) return;
  for (PciFunction* down : ports) {
    for (auto& next : down->children) {
      if (!is_thunderbolt_bridge(next)) continue;
      by_depth[depth + 1].push_back(&next);
      collect_upstream_bridges(downstream_ports(next), depth + 1, by_depth);
    }
  }
}

// A controller built into the processor has its NHI on the root bus and no bridges of
// its own: its tunnels start at root ports, which the firmware ties to the NHI and the
// kernel shows as device links "consumer:pci:ADDRESS" in the NHI's directory.
std::vector<PciFunction*> integrated_tunnel_ports(const fs::path& nhi_dir, std::vector<PciHost>& hosts) {
  constexpr std::string_view kConsumer = "consumer:pci:";
  std::vector<PciFunction*> ports;
  for (const auto& name : list_directory(nhi_dir)) {
    if (!name.starts_with(kConsumer)) continue;
    const std::string address = name.substr(kConsumer.size());
    if (address.find('/') != std::string::npos || address == "." || address == "..") continue;
    const auto chain = chain_to(hosts, nhi_dir.parent_path() / address);
    if (chain.size() == 1 && chain.front()->bridge) ports.push_back(chain.front());
  }
  return ports;
}

// The PCIe ports the domain's tunnels start from: the downstream bridges of the host
// controller's upstream bridge, whose downstream bridge the NHI (holding domainN) sits
// on; or, for an integrated controller, the root ports tied to its NHI.
std::vector<PciFunction*> tunnel_ports(const fs::path& root, unsigned domain, std::vector<PciHost>& hosts) {
  const std::string name = "domain" + std::to_string(domain);
  const auto domain_dir = resolve_link(root / "bus/thunderbolt/devices" / name, root / "devices");
  const auto chain = domain_dir ? chain_to(hosts, domain_dir->parent_path()) : std::vector<PciFunction*>{};
  std::vector<PciFunction*> ports;
  if (chain.size() >= 3 && chain[chain.size() - 2]->bridge && chain[chain.size() - 3]->bridge) {
    ports = downstream_ports(*chain[chain.size() - 3]);
  } else if (chain.size() == 1) {
    ports = integrated_tunnel_ports(chain.front()->dir, hosts);
  }
  if (ports.empty())
    syslog_printf("sysfs: %s: no Thunderbolt host controller (upstream and downstream bridge) above its NHI, "
                  "nor root ports tied to it; its devices get no GUID", name.c_str());
  return ports;
}

std::uint32_t le32(const std::array<std::uint8_t, 8>& bytes, std::size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

// The UID's high word is the device's vendor and model, which the switch shows too.
void check_against_switch(const Router& router, const std::array<std::uint8_t, 8>& guid) {
  const auto vendor = read_number(router.dir / "vendor");
  const auto device = read_number(router.dir / "device");
  const std::uint32_t high = le32(guid, 4);
  if (vendor && device && (high >> 16 != *vendor || (high & 0xFFFF) != *device))
    syslog_printf("sysfs: %s: unique_id gives vendor 0x%x model 0x%x but the device reports vendor 0x%llx "
                  "model 0x%llx; the unique_id layout may differ on this controller",
                  router.name.c_str(), high >> 16, high & 0xFFFF, static_cast<unsigned long long>(*vendor),
                  static_cast<unsigned long long>(*device));
}

void give_guid(const Router& router, PciFunction& bridge) {
  const auto text = read_text(router.dir / "unique_id");
  const auto guid = text ? guid_from_unique_id(*text) : std::nullopt;
  if (!text) {
    syslog_printf("sysfs: %s: unique_id cannot be read; no GUID", router.name.c_str());
    return;
  }
  if (!guid) {
    syslog_printf("sysfs: %s: unique_id \"%s\" is not a UID followed by eight 0xff bytes, an unexpected layout; "
                  "no GUID", router.name.c_str(), printable(*text).c_str());
    return;
  }
  check_against_switch(router, *guid);
  bridge.props.push_back({PropertyValue::make_text("Tunnel Endpoint GUID"),
                          PropertyValue::make_data(std::vector<std::uint8_t>(guid->begin(), guid->end()))});
}

std::string names_of(const std::vector<const Router*>& routers) {
  std::string text;
  for (const Router* r : routers) text += (text.empty() ? "" : " ") + r->name;
  return text.empty() ? "none" : text;
}

std::string addresses_of(const std::vector<PciFunction*>& bridges) {
  std::string text;
  for (const PciFunction* f : bridges) text += (text.empty() ? "" : " ") + f->address;
  return text.empty() ? "none" : text;
}

void match_domain(unsigned domain, const std::vector<Router>& routers, const std::vector<PciFunction*>& ports) {
  std::vector<std::vector<PciFunction*>> bridges(kMaxRouteDepth + 1);
  collect_upstream_bridges(ports, 0, bridges);
  for (unsigned depth = 1; depth <= kMaxRouteDepth; ++depth) {
    std::vector<const Router*> devices;
    for (const auto& r : routers)
      if (r.authorized && r.depth == depth) devices.push_back(&r);
    if (devices.size() == 1 && bridges[depth].size() == 1) {
      give_guid(*devices.front(), *bridges[depth].front());
    } else if (!devices.empty() || !bridges[depth].empty()) {
      syslog_printf("sysfs: domain%u depth %u: authorized devices %s, PCI upstream bridges %s: no single pair "
                    "to match, so no GUID at this depth",
                    domain, depth, names_of(devices).c_str(), addresses_of(bridges[depth]).c_str());
    }
  }
}

std::optional<std::uint8_t> hex_byte(std::string_view two) {
  std::uint8_t value = 0;
  const auto [end, error] = std::from_chars(two.data(), two.data() + 2, value, 16);
  if (error != std::errc{} || end != two.data() + 2) return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::array<std::uint8_t, 8>> guid_from_unique_id(std::string_view text) {
  // xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx, the bytes in the order they are printed.
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
    return std::nullopt;
  std::array<std::uint8_t, 16> bytes{};
  std::size_t at = 0;
  for (std::size_t i = 0; i < 16; ++i) {
    if (text[at] == '-') ++at;
    const auto byte = hex_byte(text.substr(at, 2));
    if (!byte) return std::nullopt;
    bytes[i] = *byte;
    at += 2;
  }
  for (std::size_t i = 8; i < 16; ++i)
    if (bytes[i] != 0xFF) return std::nullopt;
  std::array<std::uint8_t, 8> guid{};
  std::copy_n(bytes.begin(), 8, guid.begin());
  return guid;
}

void assign_thunderbolt_guids(const fs::path& sysfs_root, std::vector<PciHost>& hosts) {
  for (const auto& [domain, routers] : read_routers(sysfs_root)) {
    if (const auto ports = tunnel_ports(sysfs_root, domain, hosts); !ports.empty()) match_domain(domain, routers, ports);
  }
}

}  // namespace berth::linux_host
