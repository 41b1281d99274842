#include "platform/sim/ioreg_classes.h"

#include <array>

namespace berth::sim::ioreg {
namespace {

struct KnownSubclass {
  std::string_view class_name;
  std::string_view base;
};

// Only the scan's matching class needs its subclasses known. The PCI family derives one
// class from IOPCIDevice, IOAGPDevice for AGP graphics cards. In the dumps we hold (a
// MacBook Pro and two Mac Pros) every entry with PCI properties ("vendor-id",
// "device-id", "pcidebug") is of class IOPCIDevice itself, the Thunderbolt bridges and
// tunnelled controllers included; Thunderbolt's own classes (AppleThunderboltNHI,
// IOThunderboltPort, ...) sit beside or below those entries and are not PCI devices.
constexpr std::array kKnownSubclasses{
    KnownSubclass{"IOAGPDevice", "IOPCIDevice"},
};

}  // namespace

std::vector<std::string> known_bases(std::string_view class_name) {
  std::vector<std::string> bases;
  for (const auto& known : kKnownSubclasses)
    if (known.class_name == class_name) bases.emplace_back(known.base);
  return bases;
}

}  // namespace berth::sim::ioreg
