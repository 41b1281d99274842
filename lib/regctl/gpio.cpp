// Single pins, the default GPIO settings, the register dump and the bench routines.
#include "lib/regctl/gpio_i2c.h"
#include "lib/regctl/window_access.h"
#include "platform/services.h"

namespace berth {
namespace {

struct GpioRegister {
  const char* name;
  std::uint32_t index;
};
constexpr GpioRegister kGpioRegisters[] = {
    {"M9182_REG_GPIO_DATA_OUT", M9182_REG_GPIO_DATA_OUT},
    {"M9182_REG_GPIO_DATA_OUT_EN", M9182_REG_GPIO_DATA_OUT_EN},
    {"M9182_REG_GPIO_BLINK_EN", M9182_REG_GPIO_BLINK_EN},
    {"M9182_REG_GPIO_DATA_IN_POLARITY", M9182_REG_GPIO_DATA_IN_POLARITY},
    {"M9182_REG_GPIO_DATA_IN", M9182_REG_GPIO_DATA_IN},
    {"M9182_REG_GPIO_INT_CAUSE", M9182_REG_GPIO_INT_CAUSE},
    {"M9182_REG_GPIO_INT_MASK", M9182_REG_GPIO_INT_MASK},
    {"M9182_REG_GPIO_INT_LEVEL_MASK", M9182_REG_GPIO_INT_LEVEL_MASK},
    {"M9182_REG_GPIO_SAMPLE_AT_RESET", M9182_REG_GPIO_SAMPLE_AT_RESET},
    {"M9182_REG_GPIO_PORT_ACTIVE_EN", M9182_REG_GPIO_PORT_ACTIVE_EN},
};

std::uint32_t bus_pin_mask(std::uint8_t pin) { return pin == kSclPin || pin == kSdaPin ? 1u << pin : 0; }

// Select, read, change, write back, carrying on after a failed select as after every
// failed call. Only a failed read stops the write: no value was delivered, and
// writing one would clobber the register with a made-up value.
template <typename Change>
void update_register(io_connect_t connect, sDevice* dev, std::uint32_t index, Change change) {
  window_select(connect, dev, index);
  std::uint32_t value = 0;
  if (window_read_data(connect, &value) != kIOReturnSuccess) return;
  window_write_data(connect, dev, change(value) & kGpioPinBits);
}

}  // namespace

bool gpio_set(io_connect_t connect, sDevice* dev, std::uint8_t pin, bool value) {
  const std::uint32_t mask = bus_pin_mask(pin);
  update_register(connect, dev, M9182_REG_GPIO_DATA_OUT_EN, [mask](std::uint32_t v) { return v & ~mask; });
  update_register(connect, dev, M9182_REG_GPIO_DATA_OUT,
                  [mask, value](std::uint32_t v) { return value ? v & ~mask : v | mask; });
  return true;
}

bool gpio_get(io_connect_t connect, sDevice* dev, std::uint8_t pin) {
  const std::uint32_t mask = bus_pin_mask(pin);
  update_register(connect, dev, M9182_REG_GPIO_DATA_OUT_EN, [mask](std::uint32_t v) { return v | mask; });
  window_select(connect, dev, M9182_REG_GPIO_DATA_IN);
  std::uint32_t levels = 0;
  if (window_read_data(connect, &levels) != kIOReturnSuccess) return false;
  return (levels >> (pin == kSdaPin ? kSdaPin : kSclPin)) & 1;
}

bool reset_gpio_to_default_3(io_connect_t connect, sDevice* dev) {
  if (window_write(connect, dev, M9182_REG_GPIO_PORT_ACTIVE_EN, 0x777777) == kIOReturnSuccess) return true;
  err_printf("reset_gpio_to_default_3 err\n");
  return false;
}

// Both LED pins driven with their output bits set (dark), pins 1 to 4 released, no
// blinking; the record forgets every blink.
bool reset_gpio_to_default_2(io_connect_t connect, sDevice* dev) {
  if (dev != nullptr) {
    for (unsigned pin = 0; pin <= 5; ++pin) dev->dev_tbl_a[pin] = dev->dev_tbl_b[pin] = 0;
  }
  const bool ok = window_write(connect, dev, M9182_REG_GPIO_DATA_OUT, 0x21) == kIOReturnSuccess &&
                  window_write(connect, dev, M9182_REG_GPIO_DATA_OUT_EN, 0x1E) == kIOReturnSuccess &&
                  window_write(connect, dev, M9182_REG_GPIO_BLINK_EN, 0) == kIOReturnSuccess &&
                  window_write(connect, dev, M9182_REG_GPIO_PORT_ACTIVE_EN, 0x743217) == kIOReturnSuccess;
  if (!ok) err_printf("reset_gpio_to_default_2 err\n");
  return ok;
}

kern_return_t reset_gpio(sDevice*) { return kIOReturnBadArgument; }

bool dump_gpio_regs(io_connect_t connect, sDevice* dev) { return dump_gpio_regs(connect, dev, {}); }

bool dump_gpio_regs(io_connect_t connect, sDevice* dev, const GpioRegisterSink& read) {
  for (const auto& reg : kGpioRegisters) {
    std::uint32_t value = 0;
    if (window_read(connect, dev, reg.index, &value) != kIOReturnSuccess) {
      err_printf("dump_gpio_regs err\n");
      return false;
    }
    err_printf("%s=%x\n", reg.name, value);
    if (read) read(reg.name, value);
  }
  return true;
}

void gpio_test1(io_connect_t connect, sDevice* dev) {
  for (;;) {
    window_write(connect, dev, 0x70258, 0x3FFFF);
    window_write(connect, dev, 0x70224, 0x3F);
    window_write(connect, dev, 0x70220, 0x3F);
    window_write(connect, dev, 0x70220, 0);
  }
}

void gpio_test2(io_connect_t connect, sDevice* dev) {
  for (;;) {
    window_write(connect, dev, 0x70228, 0xFFFFFFFF);
    window_write(connect, dev, 0x70258, 0x111111);
  }
}

bool gpio_test3(io_connect_t connect, sDevice* dev) {
  reset_gpio_to_default_3(connect, dev);
  glo_i2c_spd = 7000;
  i2c_write_byte(connect, dev, true, false, 0x23 << 1);
  i2c_write_byte(connect, dev, false, false, 0xFF);
  i2c_write_byte(connect, dev, false, true, 0xFF);
  write_out("gpio_test3 done\n");
  return true;
}

}  // namespace berth
