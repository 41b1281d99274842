#pragma once
// The identity of one PCI function as registry properties: "vendor-id", "device-id",
// "subsystem-vendor-id", "subsystem-id", "class-code" and "revision-id" as four
// little-endian bytes each, and "pcidebug" as "bus:device:function" in decimal, for a
// bridge followed by "(secondary:subordinate)".
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry_port.h"

namespace berth::linux_host {

struct PciAddress {
  std::uint32_t domain = 0;
  std::uint32_t bus = 0;
  std::uint32_t device = 0;
  std::uint32_t function = 0;
};

// "0000:05:1c.4" -> its parts; nothing for any other name.
std::optional<PciAddress> parse_pci_address(std::string_view name);

struct PciIdentity {
  std::uint16_t vendor = 0;
  std::uint16_t device = 0;
  std::uint32_t class_code = 0;  // class, subclass, programming interface
  std::uint8_t revision = 0;
  std::optional<std::uint16_t> subsystem_vendor;  // type-0 headers only
  std::optional<std::uint16_t> subsystem_device;
  bool bridge = false;
  std::optional<std::uint8_t> secondary_bus;  // bridges
  std::optional<std::uint8_t> subordinate_bus;
};

// From the function's config file (the first 64 bytes, which need no privilege), or,
// when that cannot be read or reads as no device (0xFFFF), from its attribute files.
// Nothing when neither gives a vendor and device; every fallback is logged.
std::optional<PciIdentity> read_pci_identity(const std::filesystem::path& dir, std::string_view address);

std::vector<Property> identity_properties(const PciIdentity& identity);
std::string pcidebug_text(const PciAddress& address, const PciIdentity* identity);

}  // namespace berth::linux_host
