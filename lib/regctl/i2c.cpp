// The bit-banged I2C bus on the GPIO pins: clock on pin 3, data on pin 4. A line is
// pulled low by driving its pin with the output bit set, and let go (and read) by
// releasing the pin; a target may hold either line low.
#include "lib/regctl/gpio_i2c.h"
#include "platform/services.h"

namespace berth {

bool started = false;
std::uint32_t glo_i2c_spd = 0;
bool glo_i2c_scl_timeout = false;

namespace {

// Waits for the clock line to rise. A target that holds it for good fails the wait
// after kSclWaitReads reads, with one line saying so, and ends the transfer: going on
// would only repeat the wait for every remaining bit.
bool wait_for_scl(io_connect_t connect, sDevice* dev) {
  for (std::uint32_t read = 0; read < kSclWaitReads; ++read) {
    if (READSCL(connect, dev)) return true;
    I2CDELAY(connect);
  }
  err_printf("i2c: SCL held low, gave up after %u reads\n", kSclWaitReads);
  glo_i2c_scl_timeout = true;
  started = false;
  return false;
}

}  // namespace

bool READSCL(io_connect_t connect, sDevice* dev) { return gpio_get(connect, dev, kSclPin); }
bool READSDA(io_connect_t connect, sDevice* dev) { return gpio_get(connect, dev, kSdaPin); }
void CLRSCL(io_connect_t connect, sDevice* dev) { gpio_set(connect, dev, kSclPin, false); }
void CLRSDA(io_connect_t connect, sDevice* dev) { gpio_set(connect, dev, kSdaPin, false); }

void I2CDELAY(io_connect_t) {
  // volatile: the loop is the delay and must stay.
  volatile std::uint32_t count = 0;
  while (count < glo_i2c_spd / 2) count = count + 1;
}

void ARBITRATION_LOST() { err_printf("ARBITRATION_LOST \n"); }

void i2c_start_cond(io_connect_t connect, sDevice* dev) {
  glo_i2c_scl_timeout = false;  // a new transfer
  if (started) {  // a repeated start: let data go high, then the clock
    READSDA(connect, dev);
    I2CDELAY(connect);
    if (!wait_for_scl(connect, dev)) return;
    I2CDELAY(connect);
  }
  if (!READSDA(connect, dev)) ARBITRATION_LOST();
  CLRSDA(connect, dev);
  I2CDELAY(connect);
  CLRSCL(connect, dev);
  started = true;
}

void i2c_stop_cond(io_connect_t connect, sDevice* dev) {
  if (glo_i2c_scl_timeout) return;
  CLRSDA(connect, dev);
  I2CDELAY(connect);
  if (!wait_for_scl(connect, dev)) return;
  I2CDELAY(connect);
  if (!READSDA(connect, dev)) ARBITRATION_LOST();
  I2CDELAY(connect);
  started = false;
}

void i2c_write_bit(io_connect_t connect, sDevice* dev, bool bit) {
  if (glo_i2c_scl_timeout) return;
  if (bit) READSDA(connect, dev);
  else CLRSDA(connect, dev);
  I2CDELAY(connect);
  if (!wait_for_scl(connect, dev)) return;
  if (bit && !READSDA(connect, dev)) ARBITRATION_LOST();
  I2CDELAY(connect);
  CLRSCL(connect, dev);
}

bool i2c_read_bit(io_connect_t connect, sDevice* dev) {
  if (glo_i2c_scl_timeout) return true;
  READSDA(connect, dev);
  I2CDELAY(connect);
  if (!wait_for_scl(connect, dev)) return true;
  const bool bit = READSDA(connect, dev);
  I2CDELAY(connect);
  CLRSCL(connect, dev);
  return bit;
}

bool i2c_write_byte(io_connect_t connect, sDevice* dev, bool send_start, bool send_stop, std::uint8_t byte) {
  if (send_start) i2c_start_cond(connect, dev);
  for (int bit = 7; bit >= 0; --bit) i2c_write_bit(connect, dev, (byte >> bit) & 1);
  const bool nack = i2c_read_bit(connect, dev);
  if (send_stop) i2c_stop_cond(connect, dev);
  return nack;
}

std::uint8_t i2c_read_byte(io_connect_t connect, sDevice* dev, bool nack, bool send_stop) {
  std::uint8_t byte = 0;
  for (int bit = 0; bit < 8; ++bit)
    byte = static_cast<std::uint8_t>((byte << 1) | (i2c_read_bit(connect, dev) ? 1 : 0));
  i2c_write_bit(connect, dev, nack);
  if (send_stop) i2c_stop_cond(connect, dev);
  return byte;
}

}  // namespace berth
