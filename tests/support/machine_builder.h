#pragma once
// Compact builders for registry entries of machine files, for tests that need many
// small variations of a machine.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace berth::testing {

using nlohmann::json;

// Four little-endian bytes as machine-file data ("86800000" for 0x8086).
std::string le32_hex(std::uint32_t value);

struct PciIdentity {
  std::uint32_t vid = 0;
  std::uint32_t did = 0;
  std::uint32_t sub_vid = 0;
  std::uint32_t sub_did = 0;
  std::string pcidebug = "0:0:0";
};

json entry(const std::string& name, const std::string& class_name, json props = json::array(),
           json children = json::array());
json pci_device(const std::string& name, const PciIdentity& id, json children = json::array(),
                json extra_props = json::array());
// An Intel Thunderbolt device (0x8086:0x1547) with the 8-byte GUID high:low.
json thunderbolt(const std::string& name, std::uint32_t guid_high, std::uint32_t guid_low, json children);
json prop_num(const std::string& key, std::int64_t value);
json prop_str(const std::string& key, const std::string& value);
json prop_data(const std::string& key, const std::string& hex);
// A machine file with these registry roots.
std::string machine(json roots);

inline constexpr PciIdentity kUSBController{0x1B73, 0x1100, 0x1B73, 0x1100, "133:0:0"};
inline constexpr PciIdentity kDockSATA{0x1B21, 0x0612, 0x1AB6, 0x1060, "134:0:0"};

}  // namespace berth::testing
