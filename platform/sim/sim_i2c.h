#pragma once
// An I2C target on the clock (pin 3) and data (pin 4) lines. It watches the line
// levels, acknowledges its own address, records every byte written to it and sends
// its read bytes when read. It can only pull lines low (open drain).
#include <cstdint>
#include <vector>

#include "platform/sim/sim_driver_config.h"

namespace berth::sim {

struct I2cTransfer {
  bool read = false;
  std::vector<std::uint8_t> bytes;  // written to the device, or sent by it
};

class SimI2cDevice {
 public:
  explicit SimI2cDevice(const I2cDeviceConfig& config);

  // The lines after a change; the device reacts to edges, starts and stops.
  void lines_changed(bool scl, bool sda);
  bool pulls_sda_low() const { return pull_sda_; }
  bool holds_scl_low() const { return hold_scl_; }

  // Completed and current transfers addressed to this device, in order.
  const std::vector<I2cTransfer>& transfers() const { return transfers_; }
  // Every byte written to the device, over all transfers.
  std::vector<std::uint8_t> received() const;
  std::uint64_t starts() const { return starts_; }
  std::uint64_t stops() const { return stops_; }

 private:
  enum class Phase { idle, address, address_ack, write_data, write_ack, read_data, read_ack };

  void start();
  void stop();
  void clock_rose(bool sda);
  void clock_fell();
  void drive_read_bit();

  std::uint8_t address_;
  std::vector<std::uint8_t> read_bytes_;
  std::size_t next_read_ = 0;
  bool hold_scl_;
  bool scl_ = true;
  bool sda_ = true;
  bool pull_sda_ = false;
  Phase phase_ = Phase::idle;
  unsigned bits_ = 0;
  std::uint8_t shift_ = 0;
  bool master_nack_ = false;
  std::vector<I2cTransfer> transfers_;
  std::uint64_t starts_ = 0;
  std::uint64_t stops_ = 0;
};

}  // namespace berth::sim
