#pragma once
// A 512 KiB NOR flash as it answers SPI commands: identity, a status register with
// write-in-progress (bit 0) and write-enable latch (bit 1), erase and program that need
// the latch and clear it when they finish, program that can only clear bits, 4 KiB
// sector erase to 0xFF, a busy time counted in status reads, and per-sector software
// protection. What a careless client does wrong is counted, not forgiven.
#include <cstdint>
#include <span>
#include <vector>

#include "platform/sim/sim_driver_config.h"

namespace berth::sim {

// Misuses the flash noticed; a correct client leaves all of them at 0.
struct FlashViolations {
  std::uint64_t without_write_enable = 0;   // erase, program or unprotect ignored: latch clear
  std::uint64_t program_over_unerased = 0;  // a program wanted a 0 bit to become 1
  std::uint64_t while_busy = 0;             // a command other than Read status while busy
  std::uint64_t on_protected_sector = 0;    // erase or program refused: sector protected
  std::uint64_t unknown_commands = 0;

  std::uint64_t total() const {
    return without_write_enable + program_over_unerased + while_busy + on_protected_sector + unknown_commands;
  }
};

struct FlashCounts {
  std::uint64_t erases = 0;  // sectors erased
  std::uint64_t bytes_programmed = 0;
};

inline constexpr std::uint8_t kFlashStatusBusy = 0x01;
inline constexpr std::uint8_t kFlashStatusWriteEnabled = 0x02;

class SimFlash {
 public:
  SimFlash(const FlashConfig& config, bool stuck_busy);
  // Writes the contents back to the image when the machine file asked for it.
  ~SimFlash();
  SimFlash(const SimFlash&) = delete;
  SimFlash& operator=(const SimFlash&) = delete;

  // One command: `data` holds up to four bytes to write (first in bits 0-7); the
  // result holds the bytes read the same way.
  std::uint32_t command(std::uint8_t opcode, std::uint32_t address, std::uint32_t data, unsigned byte_count);

  std::span<const std::uint8_t> contents() const { return contents_; }
  std::uint8_t byte_at(std::uint32_t address) const;
  std::uint8_t status() const;
  bool sector_protected(std::uint32_t address) const { return protected_[sector_of(address)]; }
  std::uint32_t id() const { return id_; }
  const FlashViolations& violations() const { return violations_; }
  const FlashCounts& counts() const { return counts_; }

 private:
  static std::uint32_t sector_of(std::uint32_t address) { return (address % kSimFlashSize) / kSimFlashSectorSize; }
  std::uint32_t read_bytes(std::uint32_t address, unsigned byte_count) const;
  std::uint32_t read_status();
  bool may_write(std::uint32_t address);
  void erase_sector(std::uint32_t address);
  void program(std::uint32_t address, std::uint32_t data, unsigned byte_count);
  void unprotect(std::uint32_t address);
  void start_busy();
  void persist() const;

  std::uint32_t id_;
  std::vector<std::uint8_t> contents_;
  std::vector<bool> protected_;
  std::vector<bool> stuck_zero_;
  std::filesystem::path image_;
  bool persist_;
  std::uint32_t busy_polls_;
  bool stuck_busy_;
  bool write_enabled_ = false;
  bool busy_ = false;
  std::uint32_t busy_reads_left_ = 0;
  FlashViolations violations_;
  FlashCounts counts_;
};

}  // namespace berth::sim
