#pragma once
// One SATA controller behind a register-control service: its BAR5 registers, the
// indirect register window at 0xA8 (index) and 0xAC (data) in front of the SPI engine,
// the GPIO block and plain indirect registers, and a log of register accesses.
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/sim/sim_driver_config.h"
#include "platform/sim/sim_flash.h"
#include "platform/sim/sim_flash_spi.h"
#include "platform/sim/sim_gpio.h"

namespace berth::sim {

inline constexpr std::uint16_t kBar5Index = 0xA8;
inline constexpr std::uint16_t kBar5Data = 0xAC;

struct RegisterAccess {
  bool write = false;
  std::uint16_t offset = 0;  // BAR5 byte offset
  std::uint32_t value = 0;   // written, or read back
};

class SimController {
 public:
  explicit SimController(const ServiceConfig& config);

  std::uint32_t bar5_read(std::uint16_t offset);
  void bar5_write(std::uint16_t offset, std::uint32_t value);

  // The indirect register at index as the data register would read it, without
  // side effects; for tests.
  std::uint32_t peek(std::uint32_t index) const;

  SimFlash* flash() { return flash_.get(); }
  const SimSpiEngine& spi() const { return spi_; }
  const SimGpio& gpio() const { return gpio_; }

  // Data-register accesses made while the index value reached no register (a top
  // byte the controller does not take); a correct client makes none.
  std::uint64_t unreached_accesses() const { return unreached_accesses_; }

  // The access log is off until asked for: a whole-flash program makes millions.
  void record_accesses(bool on) { recording_ = on; }
  const std::vector<RegisterAccess>& accesses() const { return accesses_; }
  void clear_accesses() { accesses_.clear(); }

 private:
  // The register the index register selects, or nothing (counted) when the index
  // value does not reach the window (see the device-ID adjustment in the .cpp).
  bool selected(std::uint32_t& index);
  std::uint32_t window_read(std::uint32_t index);
  void window_write(std::uint32_t index, std::uint32_t value);

  bool needs_index_enable_;
  std::unique_ptr<SimFlash> flash_;
  SimSpiEngine spi_;
  SimGpio gpio_;
  std::uint32_t index_register_ = 0;
  std::map<std::uint16_t, std::uint32_t> bar5_;  // the other BAR5 registers
  std::map<std::uint32_t, std::uint32_t> window_;
  std::uint64_t unreached_accesses_ = 0;
  bool recording_ = false;
  std::vector<RegisterAccess> accesses_;
};

}  // namespace berth::sim
