#pragma once
// A PCI function as sysfs names it ("0000:05:00.0": domain, bus, device, function, in
// hexadecimal) and the identity its configuration space holds.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>

namespace berth::linux_host {

struct PciAddress {
  std::uint32_t domain = 0;
  std::uint32_t bus = 0;
  std::uint32_t device = 0;
  std::uint32_t function = 0;
};

// Exactly "DDDD:BB:DD.F" (hexadecimal, device below 0x20, function below 8); anything
// else, and so any text that could lead out of the devices directory, gives nothing.
std::optional<PciAddress> parse_pci_address(std::string_view text);

struct PciIdentity {
  std::uint16_t vendor = 0;
  std::uint16_t device = 0;
  std::uint16_t subsystem_vendor = 0;
  std::uint16_t subsystem = 0;
};

// The identity from the function's `config` file (the header's first 48 bytes, which
// sysfs gives to every user, little-endian); nothing when the file is shorter or
// cannot be read.
std::optional<PciIdentity> read_pci_identity(const std::filesystem::path& config);

}  // namespace berth::linux_host
