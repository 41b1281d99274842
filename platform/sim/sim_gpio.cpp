#include "platform/sim/sim_gpio.h"

#include <algorithm>

namespace berth::sim {
namespace {

constexpr std::uint32_t kFirstRegister = 0x220;
constexpr std::uint32_t kLastBlockRegister = 0x23C;
constexpr std::uint32_t kSampleAtReset = 0x254;
constexpr std::uint32_t kPortActiveEnable = 0x258;
constexpr unsigned kPinCount = 6;
// At power-up every pin is released.
constexpr std::uint32_t kOutputEnableAtReset = 0x3F;

}  // namespace

SimGpio::SimGpio(const std::vector<I2cDeviceConfig>& devices, const std::map<std::uint32_t, std::uint32_t>& power_up) {
  registers_[kGpioOutputEnable] = kOutputEnableAtReset;
  for (const auto& [index, value] : power_up)
    if (owns(index) && index != kGpioDataIn) registers_[index] = value;
  for (const auto& config : devices) devices_.emplace_back(config);
  settle_lines();
}

bool SimGpio::owns(std::uint32_t index) {
  return (index >= kFirstRegister && index <= kLastBlockRegister && index % 4 == 0) || index == kSampleAtReset ||
         index == kPortActiveEnable;
}

std::uint32_t SimGpio::reg(std::uint32_t index) const {
  const auto it = registers_.find(index);
  return it == registers_.end() ? 0 : it->second;
}

std::uint32_t SimGpio::read(std::uint32_t index) const {
  if (index != kGpioDataIn) return reg(index);
  std::uint32_t levels = 0;
  for (unsigned pin = 0; pin < kPinCount; ++pin)
    if (line(pin)) levels |= 1u << pin;
  return levels;
}

void SimGpio::write(std::uint32_t index, std::uint32_t value) {
  if (index == kGpioDataIn) return;  // read-only
  registers_[index] = value;
  if (index == kGpioDataOut || index == kGpioOutputEnable) settle_lines();
}

bool SimGpio::pin_driven_low(unsigned pin) const {
  const std::uint32_t mask = 1u << pin;
  return (reg(kGpioOutputEnable) & mask) == 0 && (reg(kGpioDataOut) & mask) != 0;
}

bool SimGpio::line(unsigned pin) const {
  if (pin_driven_low(pin)) return false;
  if (pin == kSclPin)
    return std::none_of(devices_.begin(), devices_.end(), [](const auto& d) { return d.holds_scl_low(); });
  if (pin == kSdaPin)
    return std::none_of(devices_.begin(), devices_.end(), [](const auto& d) { return d.pulls_sda_low(); });
  return true;
}

LedState SimGpio::led(unsigned pin) const {
  const std::uint32_t mask = 1u << pin;
  if (reg(kGpioBlinkEnable) & mask) return LedState::blinking;
  return (reg(kGpioDataOut) & mask) == 0 ? LedState::lit : LedState::dark;
}

// Tells the devices about every change of the bus lines, data before clock when both
// change in one write, until the devices' own reactions leave the lines as they are.
void SimGpio::settle_lines() {
  for (int round = 0; round < 4; ++round) {
    const bool scl = line(kSclPin);
    const bool sda = line(kSdaPin);
    if (scl == scl_ && sda == sda_) return;
    if (sda != sda_) {
      sda_ = sda;
      for (auto& device : devices_) device.lines_changed(scl_, sda_);
    }
    if (scl != scl_) {
      scl_ = scl;
      for (auto& device : devices_) device.lines_changed(scl_, sda_);
    }
  }
}

}  // namespace berth::sim
