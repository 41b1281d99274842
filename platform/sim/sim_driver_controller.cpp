#include "platform/sim/sim_driver_controller.h"

namespace berth::sim {
namespace {

// Controllers with these device IDs reach the window only when the index value
// carries the access-enable bits 0x06000000 in its top byte; on the others the top
// byte selects nothing, and any bit set there leaves the window unreached.
constexpr std::uint32_t kIndexEnable = 0x06000000;
constexpr std::uint32_t kIndexMask = 0x00FFFFFF;
constexpr std::uint32_t kUnreached = 0xFFFFFFFF;

bool needs_index_enable(std::uint32_t did) { return did == 0x9123 || did == 0x9125 || did == 0x9128; }

std::unique_ptr<SimFlash> make_flash(const ServiceConfig& config) {
  if (!config.flash.present) return nullptr;
  return std::make_unique<SimFlash>(config.flash, config.faults.stuck_busy);
}

}  // namespace

SimController::SimController(const ServiceConfig& config)
    : needs_index_enable_(needs_index_enable(config.did)),
      flash_(make_flash(config)),
      spi_(flash_.get(), config.flash.spi_polls, config.faults.stuck_command),
      gpio_(config.i2c, config.window) {
  for (const auto& [index, value] : config.window)
    if (!SimGpio::owns(index) && !SimSpiEngine::owns(index)) window_[index] = value;
}

bool SimController::selected(std::uint32_t& index) {
  const std::uint32_t top = index_register_ & ~kIndexMask;
  if (needs_index_enable_ ? (top & kIndexEnable) != kIndexEnable : top != 0) {
    ++unreached_accesses_;
    return false;
  }
  index = index_register_ & kIndexMask;
  return true;
}

std::uint32_t SimController::bar5_read(std::uint16_t offset) {
  std::uint32_t value = 0;
  std::uint32_t index = 0;
  if (offset == kBar5Data) value = selected(index) ? window_read(index) : kUnreached;
  else if (offset == kBar5Index) value = index_register_;
  else if (const auto it = bar5_.find(offset); it != bar5_.end()) value = it->second;
  if (recording_) accesses_.push_back({false, offset, value});
  return value;
}

void SimController::bar5_write(std::uint16_t offset, std::uint32_t value) {
  if (recording_) accesses_.push_back({true, offset, value});
  std::uint32_t index = 0;
  if (offset == kBar5Index) index_register_ = value;
  else if (offset != kBar5Data) bar5_[offset] = value;
  else if (selected(index)) window_write(index, value);
}

std::uint32_t SimController::window_read(std::uint32_t index) {
  if (SimSpiEngine::owns(index)) return spi_.read(index);
  if (SimGpio::owns(index)) return gpio_.read(index);
  const auto it = window_.find(index);
  return it == window_.end() ? 0 : it->second;
}

void SimController::window_write(std::uint32_t index, std::uint32_t value) {
  if (SimSpiEngine::owns(index)) spi_.write(index, value);
  else if (SimGpio::owns(index)) gpio_.write(index, value);
  else window_[index] = value;
}

std::uint32_t SimController::peek(std::uint32_t index) const {
  if (SimGpio::owns(index)) return gpio_.read(index);
  const auto it = window_.find(index);
  return it == window_.end() ? 0 : it->second;
}

}  // namespace berth::sim
