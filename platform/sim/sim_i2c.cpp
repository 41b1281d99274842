#include "platform/sim/sim_i2c.h"

namespace berth::sim {

SimI2cDevice::SimI2cDevice(const I2cDeviceConfig& config)
    : address_(config.address), read_bytes_(config.read_bytes), hold_scl_(config.hold_scl) {}

std::vector<std::uint8_t> SimI2cDevice::received() const {
  std::vector<std::uint8_t> bytes;
  for (const auto& transfer : transfers_)
    if (!transfer.read) bytes.insert(bytes.end(), transfer.bytes.begin(), transfer.bytes.end());
  return bytes;
}

void SimI2cDevice::lines_changed(bool scl, bool sda) {
  const bool was_scl = scl_;
  const bool was_sda = sda_;
  scl_ = scl;
  sda_ = sda;
  if (was_scl && scl && was_sda && !sda) start();
  else if (was_scl && scl && !was_sda && sda) stop();
  else if (!was_scl && scl) clock_rose(sda);
  else if (was_scl && !scl) clock_fell();
}

// A start (or repeated start) begins a new address byte whatever came before.
void SimI2cDevice::start() {
  ++starts_;
  phase_ = Phase::address;
  bits_ = 0;
  shift_ = 0;
  pull_sda_ = false;
}

void SimI2cDevice::stop() {
  ++stops_;
  phase_ = Phase::idle;
  pull_sda_ = false;
}

// The receiver samples data while the clock is high.
void SimI2cDevice::clock_rose(bool sda) {
  if (phase_ == Phase::address || phase_ == Phase::write_data) {
    shift_ = static_cast<std::uint8_t>((shift_ << 1) | (sda ? 1 : 0));
    ++bits_;
  } else if (phase_ == Phase::read_ack) {
    master_nack_ = sda;
  }
}

// The transmitter changes data while the clock is low.
void SimI2cDevice::clock_fell() {
  switch (phase_) {
    case Phase::address:
      if (bits_ < 8) return;
      if ((shift_ >> 1) != address_) {
        phase_ = Phase::idle;  // not ours: wait for the next start
        return;
      }
      transfers_.push_back({(shift_ & 1) != 0, {}});
      pull_sda_ = true;  // acknowledge
      phase_ = Phase::address_ack;
      return;
    case Phase::address_ack:
      pull_sda_ = false;
      bits_ = 0;
      shift_ = 0;
      phase_ = transfers_.back().read ? Phase::read_data : Phase::write_data;
      if (phase_ == Phase::read_data) drive_read_bit();
      return;
    case Phase::write_data:
      if (bits_ < 8) return;
      transfers_.back().bytes.push_back(shift_);
      pull_sda_ = true;
      phase_ = Phase::write_ack;
      return;
    case Phase::write_ack:
      pull_sda_ = false;
      bits_ = 0;
      shift_ = 0;
      phase_ = Phase::write_data;
      return;
    case Phase::read_data:
      if (++bits_ < 8) {
        drive_read_bit();
        return;
      }
      pull_sda_ = false;  // the master acknowledges
      transfers_.back().bytes.push_back(shift_);
      ++next_read_;
      phase_ = Phase::read_ack;
      return;
    case Phase::read_ack:
      if (master_nack_) {
        phase_ = Phase::idle;
        return;
      }
      bits_ = 0;
      phase_ = Phase::read_data;
      drive_read_bit();
      return;
    case Phase::idle: return;
  }
}

void SimI2cDevice::drive_read_bit() {
  if (bits_ == 0) shift_ = next_read_ < read_bytes_.size() ? read_bytes_[next_read_] : 0xFF;
  pull_sda_ = ((shift_ >> (7 - bits_)) & 1) == 0;
}

}  // namespace berth::sim
