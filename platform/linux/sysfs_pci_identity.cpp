#include "platform/linux/sysfs_pci_identity.h"

#include <charconv>
#include <limits>

#include "platform/linux/sysfs_files.h"
#include "platform/services.h"

namespace berth::linux_host {
namespace {

// Offsets in the configuration header.
constexpr std::size_t kVendor = 0x00;
constexpr std::size_t kDevice = 0x02;
constexpr std::size_t kRevision = 0x08;
constexpr std::size_t kClass = 0x09;
constexpr std::size_t kHeaderType = 0x0E;
constexpr std::size_t kSecondaryBus = 0x19;
constexpr std::size_t kSubordinateBus = 0x1A;
constexpr std::size_t kSubsystemVendor = 0x2C;
constexpr std::size_t kSubsystemDevice = 0x2E;
constexpr std::size_t kHeaderBytes = 0x40;  // what an unprivileged reader gets

constexpr std::uint32_t kBridgeClass = 0x0604;  // PCI-to-PCI bridge, class and subclass

std::uint16_t le16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                    static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

std::uint8_t byte_at(std::string_view bytes, std::size_t at) { return static_cast<std::uint8_t>(bytes[at]); }

std::optional<PciIdentity> identity_from_config(std::string_view config) {
  if (config.size() < kHeaderBytes) return std::nullopt;
  PciIdentity id;
  id.vendor = le16(config, kVendor);
  id.device = le16(config, kDevice);
  if (id.vendor == 0xFFFF || id.vendor == 0) return std::nullopt;  // no device answered
  id.revision = byte_at(config, kRevision);
  id.class_code = byte_at(config, kClass) | byte_at(config, kClass + 1) << 8 | byte_at(config, kClass + 2) << 16;
  switch (byte_at(config, kHeaderType) & 0x7F) {
    case 0:
      id.subsystem_vendor = le16(config, kSubsystemVendor);
      id.subsystem_device = le16(config, kSubsystemDevice);
      break;
    case 1:
      id.bridge = true;
      id.secondary_bus = byte_at(config, kSecondaryBus);
      id.subordinate_bus = byte_at(config, kSubordinateBus);
      break;
    default: break;  // CardBus bridges: neither
  }
  return id;
}

template <typename T>
std::optional<T> attribute(const std::filesystem::path& dir, const char* name) {
  const auto value = read_number(dir / name);
  if (!value || *value > std::numeric_limits<T>::max()) return std::nullopt;
  return static_cast<T>(*value);
}

// The attribute files hold what the kernel read from the same header at enumeration.
std::optional<PciIdentity> identity_from_attributes(const std::filesystem::path& dir) {
  const auto vendor = attribute<std::uint16_t>(dir, "vendor");
  const auto device = attribute<std::uint16_t>(dir, "device");
  const auto class_code = attribute<std::uint32_t>(dir, "class");
  if (!vendor || !device || !class_code || *vendor == 0xFFFF) return std::nullopt;
  PciIdentity id;
  id.vendor = *vendor;
  id.device = *device;
  id.class_code = *class_code & 0xFFFFFF;
  id.revision = attribute<std::uint8_t>(dir, "revision").value_or(0);
  id.bridge = id.class_code >> 8 == kBridgeClass;
  if (id.bridge) {
    id.secondary_bus = attribute<std::uint8_t>(dir, "secondary_bus_number");
    id.subordinate_bus = attribute<std::uint8_t>(dir, "subordinate_bus_number");
  } else {
    id.subsystem_vendor = attribute<std::uint16_t>(dir, "subsystem_vendor");
    id.subsystem_device = attribute<std::uint16_t>(dir, "subsystem_device");
  }
  return id;
}

PropertyValue le32_data(std::uint32_t value) {
  return PropertyValue::make_data({static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

Property property(const char* key, PropertyValue value) { return {PropertyValue::make_text(key), std::move(value)}; }

std::optional<std::uint32_t> hex_field(std::string_view text, std::size_t max_digits) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
  if (text.empty() || text.size() > max_digits || error != std::errc{} || end != text.data() + text.size())
    return std::nullopt;
  return value;
}

}  // namespace

std::optional<PciAddress> parse_pci_address(std::string_view name) {
  const auto colon1 = name.find(':');
  if (colon1 == std::string_view::npos) return std::nullopt;
  const auto colon2 = name.find(':', colon1 + 1);
  if (colon2 == std::string_view::npos) return std::nullopt;
  const auto dot = name.find('.', colon2 + 1);
  if (dot == std::string_view::npos || dot + 2 != name.size()) return std::nullopt;
  const auto domain = hex_field(name.substr(0, colon1), 8);
  const auto bus = hex_field(name.substr(colon1 + 1, colon2 - colon1 - 1), 2);
  const auto device = hex_field(name.substr(colon2 + 1, dot - colon2 - 1), 2);
  const auto function = hex_field(name.substr(dot + 1), 1);
  if (!domain || !bus || !device || !function || *device > 31 || *function > 7) return std::nullopt;
  return PciAddress{*domain, *bus, *device, *function};
}

std::optional<PciIdentity> read_pci_identity(const std::filesystem::path& dir, std::string_view address) {
  const auto config = read_attribute(dir / "config", 256);
  if (config) {
    if (auto id = identity_from_config(*config)) return id;
  }
  syslog_printf("sysfs: %.*s: %s; its identity comes from its attribute files", static_cast<int>(address.size()),
                address.data(), config ? "config holds no device header" : "config cannot be read");
  auto id = identity_from_attributes(dir);
  if (!id)
    syslog_printf("sysfs: %.*s: no vendor and device in its attribute files either; it has no identity",
                  static_cast<int>(address.size()), address.data());
  return id;
}

std::vector<Property> identity_properties(const PciIdentity& id) {
  std::vector<Property> props{property("vendor-id", le32_data(id.vendor)),
                              property("device-id", le32_data(id.device))};
  if (id.subsystem_vendor) props.push_back(property("subsystem-vendor-id", le32_data(*id.subsystem_vendor)));
  if (id.subsystem_device) props.push_back(property("subsystem-id", le32_data(*id.subsystem_device)));
  props.push_back(property("class-code", le32_data(id.class_code)));
  props.push_back(property("revision-id", le32_data(id.revision)));
  return props;
}

std::string pcidebug_text(const PciAddress& address, const PciIdentity* id) {
  std::string text = std::to_string(address.bus) + ":" + std::to_string(address.device) + ":" +
                     std::to_string(address.function);
  if (id && id->bridge && id->secondary_bus && id->subordinate_bus)
    text += "(" + std::to_string(*id->secondary_bus) + ":" + std::to_string(*id->subordinate_bus) + ")";
  return text;
}

}  // namespace berth::linux_host
