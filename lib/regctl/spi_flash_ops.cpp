// The single flash operations. Each failure prints one line, the function's name
// followed by " Err", on standard error; an operation run inside another prints its
// own line and the caller then prints its own.
#include <cstring>

#include "lib/regctl/spi_flash.h"
#include "lib/regctl/spi_transaction.h"
#include "platform/services.h"

namespace berth {
namespace {

constexpr std::uint32_t kSoftwareProtectMask = 0x1F;

bool fail(const char* function) {
  err_printf("%s Err\n", function);
  return false;
}

kern_return_t read_word(io_connect_t connect, sDevice* dev, std::uint32_t address, std::uint32_t* value) {
  *value = 0;
  const kern_return_t status = spi_transaction(connect, dev, {kSpiRead4Bytes, address, nullptr, value});
  if (status != kIOReturnSuccess) *value = 0;
  return status;
}

bool uses_version_base_0x20000(std::uint32_t did) {
  return did == 0x9182 || did == 0x918A || did == 0x9235 || did == 0x7777 || did == 0x9199;
}

bool program(io_connect_t connect, sDevice* dev, std::uint32_t word, std::uint32_t address, std::uint32_t data) {
  return write_enable_9182_spi_flash(connect, dev) &&
         spi_transaction(connect, dev, {word, address, &data, nullptr}) == kIOReturnSuccess &&
         wait_9182_spi_flash_ready(connect, dev);
}

}  // namespace

kern_return_t read_9182_spi_flash_status(io_connect_t connect, sDevice* dev, std::uint32_t* status) {
  std::uint32_t value = 0;
  const kern_return_t result = spi_transaction(connect, dev, {kSpiReadStatus, 0, nullptr, &value});
  if (result != kIOReturnSuccess) {
    err_printf("read_9182_spi_flash_status Err\n");
    value = 0;
  }
  if (status) *status = value;
  return result;
}

// A status that could not be read is 0, so it too shows the latch clear.
bool write_enable_9182_spi_flash(io_connect_t connect, sDevice* dev) {
  if (spi_transaction(connect, dev, {kSpiWriteEnable}) != kIOReturnSuccess) return fail("write_enable_9182_spi_flash");
  std::uint32_t status = 0;
  read_9182_spi_flash_status(connect, dev, &status);
  if ((status & kFlashStatusWriteEnabled) == 0) {
    err_printf("write_enable_9182_spi_flash fail, flash_status=%x\n", status);
    return fail("write_enable_9182_spi_flash");
  }
  return true;
}

bool get_9182_spi_flash_4Bytes(io_connect_t connect, sDevice* dev, std::uint32_t address, std::uint32_t* value) {
  std::uint32_t word = 0;
  const bool ok = read_word(connect, dev, address, &word) == kIOReturnSuccess;
  if (value) *value = word;
  return ok || fail("get_9182_spi_flash_4Bytes");
}

bool get_VID_DID_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t* id) {
  std::uint32_t word = 0;
  const bool ok = spi_transaction(connect, dev, {kSpiReadIdentity, 0, nullptr, &word}) == kIOReturnSuccess;
  if (id) *id = ok ? word : 0;
  return ok || fail("get_VID_DID_9182_spi_flash");
}

bool get_M9182_BIOS_version(io_connect_t connect, sDevice* dev) {
  if (dev == nullptr) return false;
  std::memset(dev->bios_ver, 0, sizeof dev->bios_ver);
  const std::uint32_t base = uses_version_base_0x20000(dev->DID) ? 0x20000 : 0x10000;
  std::uint32_t words[4] = {};
  bool all_read = true;
  for (std::uint32_t i = 0; i < 4; ++i)
    all_read &= get_9182_spi_flash_4Bytes(connect, dev, base + 4 + 4 * i, &words[i]);
  const auto byte = [&](std::uint32_t word, unsigned n) { return static_cast<char>(words[word] >> (8 * n)); };
  dev->bios_ver[0] = byte(0, 3);
  for (unsigned n = 0; n < 4; ++n) {
    dev->bios_ver[1 + n] = byte(1, n);
    dev->bios_ver[5 + n] = byte(2, n);
  }
  dev->bios_ver[9] = byte(3, 0);
  dev->bios_ver[10] = byte(3, 1);
  return all_read;
}

bool set_software_protect_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address) {
  const bool ok = write_enable_9182_spi_flash(connect, dev) &&
                  spi_transaction(connect, dev, {kSpiSetSoftwareProtect, address}) == kIOReturnSuccess;
  return ok || fail("set_software_protect_9182_spi_flash");
}

bool read_software_protect_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address) {
  if (spi_transaction(connect, dev, {kSpiReadSoftwareProtect, address}) != kIOReturnSuccess)
    return fail("read_software_protect_9182_spi_flash");
  write_out(format("read_software_protect_9182_spi_flash done, addr = %08X\n", address));
  return true;
}

bool sector_erase_4KB_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address) {
  if (dev == nullptr) return fail("sector_erase_4KB_9182_spi_flash");
  // Flash types that protect sectors need the sector unprotected first; if that
  // fails the erase goes ahead and the flash decides.
  if ((dev->spi_flash_id & kSoftwareProtectMask) != 0) set_software_protect_9182_spi_flash(connect, dev, address);
  const bool ok = write_enable_9182_spi_flash(connect, dev) &&
                  spi_transaction(connect, dev, {kSpiSectorErase4KB, address}) == kIOReturnSuccess &&
                  wait_9182_spi_flash_ready(connect, dev);
  return ok || fail("sector_erase_4KB_9182_spi_flash");
}

bool program_4Bytes_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address, std::uint32_t data) {
  return program(connect, dev, kSpiProgram4Bytes, address, data) || fail("program_4Bytes_9182_spi_flash");
}

bool program_1Byte_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address, std::uint32_t data) {
  return program(connect, dev, kSpiProgram1Byte, address, data & 0xFF) || fail("program_1Byte_9182_spi_flash");
}

bool read_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address, std::span<std::uint8_t> out) {
  for (std::size_t offset = 0; offset + 4 <= out.size(); offset += 4) {
    std::uint32_t word = 0;
    if (read_word(connect, dev, address + static_cast<std::uint32_t>(offset), &word) != kIOReturnSuccess) return false;
    for (unsigned n = 0; n < 4; ++n) out[offset + n] = static_cast<std::uint8_t>(word >> (8 * n));
  }
  return true;
}

}  // namespace berth
