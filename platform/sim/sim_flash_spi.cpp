#include "platform/sim/sim_flash_spi.h"

namespace berth::sim {
namespace {

constexpr std::uint32_t kStart = 1u << 4;
constexpr std::uint32_t kDoneClears = (1u << 4) | (1u << 5);
constexpr std::uint32_t kSendsAddress = 1u << 12;
constexpr std::uint32_t kReadsData = 1u << 13;

}  // namespace

SimSpiEngine::SimSpiEngine(SimFlash* flash, std::uint32_t spi_polls, bool stuck_command)
    : flash_(flash), spi_polls_(spi_polls), stuck_command_(stuck_command) {}

std::uint32_t SimSpiEngine::read(std::uint32_t index) {
  if (index == kAddress) return address_;
  if (index == kCommand) return read_command();
  if (!completion_seen_) ++errors_.data_read_early;
  return data_;
}

std::uint32_t SimSpiEngine::read_command() {
  if (running_) {
    if (!stuck_command_ && running_reads_left_-- <= 1) running_ = false;
    return command_ & ~kStart;
  }
  if (!completion_seen_) {
    completion_seen_ = true;
    if (command_ & kReadsData) data_ = fetched_;
  }
  return command_ & ~kDoneClears;
}

void SimSpiEngine::write(std::uint32_t index, std::uint32_t value) {
  if (index != kCommand && running_) ++errors_.written_while_running;
  else if (index == kAddress) address_ = value;
  else if (index == kData) data_ = value;
  else if (running_ && (value & kStart)) ++errors_.started_while_running;
  else if (value & kStart) start(value);
  else command_ = value;
}

// The whole transaction happens at once; only its completion is drawn out.
void SimSpiEngine::start(std::uint32_t word) {
  command_ = word;
  const auto opcode = static_cast<std::uint8_t>(word >> 16);
  const unsigned byte_count = (word >> 8) & 0xF;
  const std::uint32_t address = (word & kSendsAddress) ? address_ : 0;
  fetched_ = flash_ ? flash_->command(opcode, address, data_, byte_count) : 0;
  running_ = stuck_command_ || spi_polls_ > 0;
  running_reads_left_ = spi_polls_;
  completion_seen_ = false;
}

}  // namespace berth::sim
