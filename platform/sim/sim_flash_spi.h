#pragma once
// The controller's SPI engine: three indirect registers (command 0x00, address 0x04,
// data 0x08). Writing a command word with bit 4 set runs one transaction against the
// flash; while it runs the command register reads back with bit 4 cleared, once done
// with bits 4 and 5 cleared. The bytes read from the flash reach the data register
// when a read of the command register has seen the transaction done.
#include <cstdint>

#include "platform/sim/sim_flash.h"

namespace berth::sim {

// Steps a client took out of turn; a correct client leaves all of them at 0.
struct SpiProtocolErrors {
  std::uint64_t started_while_running = 0;  // a command word started while one ran (ignored)
  std::uint64_t written_while_running = 0;  // address or data written while one ran (ignored)
  std::uint64_t data_read_early = 0;        // data read before a poll saw completion (stale)

  std::uint64_t total() const { return started_while_running + written_while_running + data_read_early; }
};

class SimSpiEngine {
 public:
  // flash may be null: no chip, every byte read is 0.
  SimSpiEngine(SimFlash* flash, std::uint32_t spi_polls, bool stuck_command);

  static bool owns(std::uint32_t index) { return index == kCommand || index == kAddress || index == kData; }
  std::uint32_t read(std::uint32_t index);
  void write(std::uint32_t index, std::uint32_t value);

  const SpiProtocolErrors& errors() const { return errors_; }

 private:
  static constexpr std::uint32_t kCommand = 0x00;
  static constexpr std::uint32_t kAddress = 0x04;
  static constexpr std::uint32_t kData = 0x08;

  void start(std::uint32_t word);
  std::uint32_t read_command();

  SimFlash* flash_;
  std::uint32_t spi_polls_;
  bool stuck_command_;
  std::uint32_t command_ = 0;
  std::uint32_t address_ = 0;
  std::uint32_t data_ = 0;
  std::uint32_t fetched_ = 0;  // what the data register will hold once completion is seen
  bool running_ = false;
  bool completion_seen_ = true;
  std::uint32_t running_reads_left_ = 0;
  SpiProtocolErrors errors_;
};

}  // namespace berth::sim
