#include "lib/regctl/sata_led.h"

#include "lib/regctl/gpio_i2c.h"
#include "lib/regctl/regctl_tool.h"
#include "lib/regctl/window_access.h"
#include "platform/services.h"

namespace berth {
namespace {

unsigned led_pin(std::uint8_t port) { return port == 0 ? 0 : 5; }
std::uint32_t led_mask(std::uint8_t port) { return 1u << led_pin(port); }

// Select, read, change, write back; false at the first failing register call.
template <typename Change>
bool change_register(io_connect_t connect, sDevice* dev, std::uint32_t index, Change change) {
  std::uint32_t value = 0;
  return window_read(connect, dev, index, &value) == kIOReturnSuccess &&
         window_write_data(connect, dev, change(value) & kGpioPinBits) == kIOReturnSuccess;
}

bool failed(const char* line) {
  err_printf("%s", line);
  return false;
}

bool start_blinking(io_connect_t connect, sDevice* dev, std::uint8_t port) {
  const unsigned pin = led_pin(port);
  const std::uint32_t mask = led_mask(port);
  std::uint32_t out = 0;
  if (window_read(connect, dev, M9182_REG_GPIO_DATA_OUT, &out) != kIOReturnSuccess)
    return failed("blink_sata_status_LED err\n");
  if (dev->dev_tbl_b[pin] != 0) return false;
  dev->dev_tbl_b[pin] = 1;
  dev->dev_tbl_a[pin] = out & mask;
  // Dark between blinks.
  if (window_write_data(connect, dev, (out | mask) & kGpioPinBits) != kIOReturnSuccess ||
      !change_register(connect, dev, M9182_REG_GPIO_BLINK_EN, [mask](std::uint32_t v) { return v | mask; }))
    return failed("blink_sata_status_LED err\n");
  return true;
}

bool stop_blinking(io_connect_t connect, sDevice* dev, std::uint8_t port) {
  const unsigned pin = led_pin(port);
  const std::uint32_t mask = led_mask(port);
  std::uint32_t blink = 0;
  if (window_read(connect, dev, M9182_REG_GPIO_BLINK_EN, &blink) != kIOReturnSuccess)
    return failed("blink_sata_status_LED err\n");
  if (dev->dev_tbl_b[pin] == 0) return false;
  dev->dev_tbl_b[pin] = 0;
  const bool was_dark = dev->dev_tbl_a[pin] != 0;
  if (window_write_data(connect, dev, (blink & ~mask) & kGpioPinBits) != kIOReturnSuccess ||
      !change_register(connect, dev, M9182_REG_GPIO_DATA_OUT,
                       [mask, was_dark](std::uint32_t v) { return was_dark ? v | mask : v & ~mask; }))
    return failed("blink_sata_status_LED err\n");
  return true;
}

bool led_entry_refused(sDevice* dev, std::uint32_t port) {
  return dev == nullptr || port >= kSataLedPorts || dev->service == 0;
}

}  // namespace

bool light_sata_status_LED(io_connect_t connect, sDevice* dev, std::uint8_t port) {
  const std::uint32_t mask = led_mask(port);
  return change_register(connect, dev, M9182_REG_GPIO_DATA_OUT, [mask](std::uint32_t v) { return v & ~mask; }) ||
         failed("light_sata_status_LED err\n");
}

bool dark_sata_status_LED(io_connect_t connect, sDevice* dev, std::uint8_t port) {
  const std::uint32_t mask = led_mask(port);
  return change_register(connect, dev, M9182_REG_GPIO_DATA_OUT, [mask](std::uint32_t v) { return v | mask; }) ||
         failed("dark_sata_status_LED err\n");
}

bool blink_sata_status_LED(io_connect_t connect, sDevice* dev, std::uint8_t port, bool enable) {
  if (dev == nullptr) return failed("blink_sata_status_LED err\n");
  return enable ? start_blinking(connect, dev, port) : stop_blinking(connect, dev, port);
}

kern_return_t sata_status_LED_on(sDevice* dev, std::uint32_t port) {
  if (led_entry_refused(dev, port)) return kIOReturnBadArgument;
  const auto p = static_cast<std::uint8_t>(port);
  return run_on_record_service(
      dev, "sata_status_LED_on", [=](io_connect_t c) { return light_sata_status_LED(c, dev, p); }, true);
}

kern_return_t sata_status_LED_off(sDevice* dev, std::uint32_t port) {
  if (led_entry_refused(dev, port)) return kIOReturnBadArgument;
  const auto p = static_cast<std::uint8_t>(port);
  return run_on_record_service(
      dev, "sata_status_LED_off", [=](io_connect_t c) { return dark_sata_status_LED(c, dev, p); }, true);
}

// A failed blink prints its own line only.
kern_return_t sata_status_LED_blink(sDevice* dev, std::uint32_t port, bool enable) {
  if (led_entry_refused(dev, port)) return kIOReturnBadArgument;
  const auto p = static_cast<std::uint8_t>(port);
  return run_on_record_service(
      dev, "sata_status_LED_blink", [=](io_connect_t c) { return blink_sata_status_LED(c, dev, p, enable); }, false);
}

}  // namespace berth
