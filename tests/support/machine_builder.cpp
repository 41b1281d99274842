#include "tests/support/machine_builder.h"

#include <cstdio>

namespace berth::testing {

std::string le32_hex(std::uint32_t value) {
  char text[9];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF,
                value >> 24);
  return text;
}

json entry(const std::string& name, const std::string& class_name, json props, json children) {
  return {{"name", name}, {"class", class_name}, {"props", std::move(props)}, {"children", std::move(children)}};
}

json pci_device(const std::string& name, const PciIdentity& id, json children, json extra_props) {
  json props = json::array({prop_str("pcidebug", id.pcidebug), prop_data("vendor-id", le32_hex(id.vid)),
                            prop_data("device-id", le32_hex(id.did)),
                            prop_data("subsystem-vendor-id", le32_hex(id.sub_vid)),
                            prop_data("subsystem-id", le32_hex(id.sub_did))});
  for (auto& p : extra_props) props.push_back(std::move(p));
  return entry(name, "IOPCIDevice", std::move(props), std::move(children));
}

json thunderbolt(const std::string& name, std::uint32_t guid_high, std::uint32_t guid_low, json children) {
  return pci_device(name, {0x8086, 0x1547, 0, 0, "5:0:0"}, std::move(children),
                    json::array({prop_data("Tunnel Endpoint GUID", le32_hex(guid_low) + le32_hex(guid_high))}));
}

json prop_num(const std::string& key, std::int64_t value) { return json::array({key, {{"num", value}}}); }
json prop_str(const std::string& key, const std::string& value) { return json::array({key, {{"str", value}}}); }
json prop_data(const std::string& key, const std::string& hex) { return json::array({key, {{"data", hex}}}); }

std::string machine(json roots) { return json{{"registry", {{"roots", std::move(roots)}}}}.dump(); }

}  // namespace berth::testing
