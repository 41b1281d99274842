#include "platform/linux/pci_function.h"

#include <array>
#include <charconv>
#include <fstream>
#include <span>

namespace berth::linux_host {
namespace {

// Exactly `digits` hexadecimal digits at the front of text, then `separator` (none
// when it is '\0').
std::optional<std::uint32_t> take_hex(std::string_view& text, std::size_t digits, char separator) {
  if (text.size() < digits) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + digits, value, 16);
  if (error != std::errc() || end != text.data() + digits) return std::nullopt;
  text.remove_prefix(digits);
  if (separator != '\0') {
    if (text.empty() || text.front() != separator) return std::nullopt;
    text.remove_prefix(1);
  }
  return value;
}

std::uint16_t le16(std::span<const unsigned char> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

}  // namespace

std::optional<PciAddress> parse_pci_address(std::string_view text) {
  const auto domain = take_hex(text, 4, ':');
  const auto bus = domain ? take_hex(text, 2, ':') : std::nullopt;
  const auto device = bus ? take_hex(text, 2, '.') : std::nullopt;
  const auto function = device ? take_hex(text, 1, '\0') : std::nullopt;
  if (!function || !text.empty() || *device >= 0x20 || *function >= 8) return std::nullopt;
  return PciAddress{*domain, *bus, *device, *function};
}

std::optional<PciIdentity> read_pci_identity(const std::filesystem::path& config) {
  std::array<unsigned char, 48> header{};
  std::ifstream in(config, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return std::nullopt;
  return PciIdentity{le16(header, 0x00), le16(header, 0x02), le16(header, 0x2C), le16(header, 0x2E)};
}

}  // namespace berth::linux_host
