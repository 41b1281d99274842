#pragma once
// The controller's GPIO block: indirect registers 0x220 to 0x258 and six pins. A pin
// whose output-enable bit (0x224) is clear is driven: high when its output bit (0x220)
// is clear, low when it is set. A pin whose output-enable bit is set is released and
// pulled up. Lines are wired-AND: the input register (0x230) reads a line low when
// anyone drives it low, the I2C devices on pins 3 (clock) and 4 (data) included.
#include <cstdint>
#include <map>
#include <vector>

#include "platform/sim/sim_i2c.h"

namespace berth::sim {

enum class LedState { dark, lit, blinking };

inline constexpr std::uint32_t kGpioDataOut = 0x220;
inline constexpr std::uint32_t kGpioOutputEnable = 0x224;
inline constexpr std::uint32_t kGpioBlinkEnable = 0x228;
inline constexpr std::uint32_t kGpioDataIn = 0x230;
inline constexpr unsigned kSclPin = 3;
inline constexpr unsigned kSdaPin = 4;

class SimGpio {
 public:
  SimGpio(const std::vector<I2cDeviceConfig>& devices, const std::map<std::uint32_t, std::uint32_t>& power_up);

  static bool owns(std::uint32_t index);
  std::uint32_t read(std::uint32_t index) const;
  void write(std::uint32_t index, std::uint32_t value);

  // Level of pin 0 to 5 as the input register shows it.
  bool line(unsigned pin) const;
  // An LED on the pin: blinking when its blink bit is set, else lit while its output
  // bit is clear and dark while it is set, whatever the output enable says.
  LedState led(unsigned pin) const;
  const std::vector<SimI2cDevice>& i2c_devices() const { return devices_; }

 private:
  std::uint32_t reg(std::uint32_t index) const;
  bool pin_driven_low(unsigned pin) const;
  void settle_lines();

  std::map<std::uint32_t, std::uint32_t> registers_;
  std::vector<SimI2cDevice> devices_;
  bool scl_ = true;
  bool sda_ = true;
};

}  // namespace berth::sim
