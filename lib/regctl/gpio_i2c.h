#pragma once
// The controller's GPIO pins (bits 0 to 5 of its GPIO registers, indirect registers of
// the BAR5 window) and a bit-banged I2C bus on two of them: clock on pin 3, data on
// pin 4. Pins 0 and 5 drive the SATA status LEDs.
#include <cstdint>
#include <functional>

#include "lib/discovery/device_tables.h"
#include "platform/driver_port.h"

namespace berth {

inline constexpr std::uint32_t M9182_REG_GPIO_DATA_OUT = 0x220;
inline constexpr std::uint32_t M9182_REG_GPIO_DATA_OUT_EN = 0x224;  // clear: driven, set: released
inline constexpr std::uint32_t M9182_REG_GPIO_BLINK_EN = 0x228;
inline constexpr std::uint32_t M9182_REG_GPIO_DATA_IN_POLARITY = 0x22C;
inline constexpr std::uint32_t M9182_REG_GPIO_DATA_IN = 0x230;
inline constexpr std::uint32_t M9182_REG_GPIO_INT_CAUSE = 0x234;
inline constexpr std::uint32_t M9182_REG_GPIO_INT_MASK = 0x238;
inline constexpr std::uint32_t M9182_REG_GPIO_INT_LEVEL_MASK = 0x23C;
inline constexpr std::uint32_t M9182_REG_GPIO_SAMPLE_AT_RESET = 0x254;
inline constexpr std::uint32_t M9182_REG_GPIO_PORT_ACTIVE_EN = 0x258;

inline constexpr std::uint32_t kGpioPinBits = 0x3F;  // what is kept of a register written back
inline constexpr std::uint8_t kSclPin = 3;
inline constexpr std::uint8_t kSdaPin = 4;

// Bound of a wait for the clock line to rise (a target may hold it low to stretch the
// clock): this many reads, with an I2CDELAY between them.
inline constexpr std::uint32_t kSclWaitReads = 1000;

// Process-wide I2C state: a start condition is outstanding; the delay count of I2CDELAY.
extern bool started;
extern std::uint32_t glo_i2c_spd;
// Set when a wait for the clock line gave up: the transfer is over, and every bit,
// start and stop does nothing (a bit reads as 1, so nothing reads as acknowledged)
// until the next start condition begins a new transfer.
extern bool glo_i2c_scl_timeout;

// Pins 3 and 4: drives the pin (clears its output-enable bit), then clears its output
// bit for value true or sets it (line low) for false. Other pins keep their bits.
bool gpio_set(io_connect_t connect, sDevice* dev, std::uint8_t pin, bool value);
// Releases pin 3 or 4 and reads its level (bit 4 of the input register for pin 4,
// bit 3 for any other pin); false when the level could not be read.
bool gpio_get(io_connect_t connect, sDevice* dev, std::uint8_t pin);

bool READSCL(io_connect_t connect, sDevice* dev);
bool READSDA(io_connect_t connect, sDevice* dev);
void CLRSCL(io_connect_t connect, sDevice* dev);
void CLRSDA(io_connect_t connect, sDevice* dev);
void I2CDELAY(io_connect_t connect);
void ARBITRATION_LOST();

void i2c_start_cond(io_connect_t connect, sDevice* dev);
void i2c_stop_cond(io_connect_t connect, sDevice* dev);
void i2c_write_bit(io_connect_t connect, sDevice* dev, bool bit);
bool i2c_read_bit(io_connect_t connect, sDevice* dev);
// Returns the acknowledge bit: true when the receiver did not acknowledge.
bool i2c_write_byte(io_connect_t connect, sDevice* dev, bool send_start, bool send_stop, std::uint8_t byte);
std::uint8_t i2c_read_byte(io_connect_t connect, sDevice* dev, bool nack, bool send_stop);

bool reset_gpio_to_default_2(io_connect_t connect, sDevice* dev);
bool reset_gpio_to_default_3(io_connect_t connect, sDevice* dev);
kern_return_t reset_gpio(sDevice* dev);
bool dump_gpio_regs(io_connect_t connect, sDevice* dev);
// The same dump, telling `read` each register's name and value as it is printed.
using GpioRegisterSink = std::function<void(const char* name, std::uint32_t value)>;
bool dump_gpio_regs(io_connect_t connect, sDevice* dev, const GpioRegisterSink& read);

// Bench routines: the first two toggle registers until the process is stopped.
[[noreturn]] void gpio_test1(io_connect_t connect, sDevice* dev);
[[noreturn]] void gpio_test2(io_connect_t connect, sDevice* dev);
bool gpio_test3(io_connect_t connect, sDevice* dev);

}  // namespace berth
