#pragma once
// What the "driver" section of a machine file describes: the register-control
// services, each with its controller's identity, SPI flash, I2C devices, indirect
// registers and injected faults.
#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/io_types.h"

namespace berth::sim {

inline constexpr std::uint32_t kSimFlashSize = 0x80000;  // 512 KiB
inline constexpr std::uint32_t kSimFlashSectorSize = 0x1000;
// Each service carries a whole flash; far more controllers than a machine holds
// (the dock table has 16 slots) are refused.
inline constexpr std::size_t kMaxDriverServices = 64;

struct FlashConfig {
  bool present = false;  // without a chip the SPI bus reads zero bytes
  std::uint32_t id = 0;  // what Read identity returns
  std::vector<std::uint8_t> contents = std::vector<std::uint8_t>(kSimFlashSize, 0xFF);
  std::filesystem::path image;  // empty: the contents come from fill and bytes_at only
  bool persist = false;         // write the contents back to `image` at the end
  std::uint32_t busy_polls = 2;  // status reads an erase or program stays busy
  std::uint32_t spi_polls = 1;   // command-register reads a transaction stays running
  bool all_protected = false;    // every sector starts software-protected
  std::vector<std::uint32_t> stuck_zero;  // worn cells: these bytes always read 0x00
};

struct I2cDeviceConfig {
  std::uint8_t address = 0;           // 7-bit address
  std::vector<std::uint8_t> read_bytes;  // what it sends when read (then 0xFF)
  bool hold_scl = false;              // holds the clock line low for ever
};

struct FaultConfig {
  std::uint64_t fail_call = 0;  // the Nth call on this service fails; 0: none
  std::vector<std::uint32_t> fail_selectors;
  bool stuck_busy = false;     // the flash never finishes an erase or program
  bool stuck_command = false;  // the SPI engine never finishes a transaction
};

struct ServiceConfig {
  std::uint32_t bus = 0, dev = 0, fun = 0;
  std::uint32_t vid = 0, did = 0, sub_vid = 0, sub_did = 0;
  kern_return_t open_status = 0;
  FlashConfig flash;
  std::vector<I2cDeviceConfig> i2c;
  std::uint32_t injector_state = 0;
  std::map<std::uint32_t, std::uint32_t> window;  // indirect registers at power-up
  FaultConfig faults;
};

struct DriverConfig {
  kern_return_t matching_status = 0;
  std::vector<ServiceConfig> services;
};

}  // namespace berth::sim
