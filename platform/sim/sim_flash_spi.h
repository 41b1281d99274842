#pragma once
// The controller's SPI engine: three indirect registers (command 0x00, address 0x04,
// data 0x08). Writing a command word with bit 4 set runs one transaction against the
// flash; while it runs the command register reads back with bit 4 cleared, once done
// with bits 4 and 5 cleared.
#include <cstdint>

#include "platform/sim/sim_flash.h"

namespace berth::sim {

class SimSpiEngine {
 public:
  // flash may be null: no chip, every byte read is 0.
  SimSpiEngine(SimFlash* flash, std::uint32_t spi_polls, bool stuck_command);

  static bool owns(std::uint32_t index) { return index == kCommand || index == kAddress || index == kData; }
  std::uint32_t read(std::uint32_t index);
  void write(std::uint32_t index, std::uint32_t value);

  // Command words started while the previous transaction was still running (ignored).
  std::uint64_t started_while_running() const { return started_while_running_; }

 private:
  static constexpr std::uint32_t kCommand = 0x00;
  static constexpr std::uint32_t kAddress = 0x04;
  static constexpr std::uint32_t kData = 0x08;

  void start(std::uint32_t word);

  SimFlash* flash_;
  std::uint32_t spi_polls_;
  bool stuck_command_;
  std::uint32_t command_ = 0;
  std::uint32_t address_ = 0;
  std::uint32_t data_ = 0;
  bool running_ = false;
  std::uint32_t running_reads_left_ = 0;
  std::uint64_t started_while_running_ = 0;
};

}  // namespace berth::sim
