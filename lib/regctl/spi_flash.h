#pragma once
// The SPI flash engine: SPI transactions through the controller's indirect register
// window against the 512 KB firmware flash (identity, 4-byte reads, the firmware
// version text, status, 4 KB sector erase, software protect, 4-byte and 1-byte
// programs), the whole-flash dump and programming, and their entry points.
#include <bitset>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "lib/discovery/device_tables.h"
#include "platform/driver_port.h"

namespace berth {

// SPI indirect registers.
inline constexpr std::uint32_t M9182_REG_SPI_CMD = 0x00;
inline constexpr std::uint32_t M9182_REG_SPI_ADDR = 0x04;
inline constexpr std::uint32_t M9182_REG_SPI_DATA = 0x08;

// Command words: opcode in bits 16-23, data byte count in bits 8-11, bit 12 an address
// is sent, bit 13 data comes from the flash, bit 4 starts the transaction.
inline constexpr std::uint32_t kSpiRead4Bytes = 0x00033434;
inline constexpr std::uint32_t kSpiWriteEnable = 0x00060030;
inline constexpr std::uint32_t kSpiReadIdentity = 0x009F2330;
inline constexpr std::uint32_t kSpiReadStatus = 0x00052132;
inline constexpr std::uint32_t kSpiSectorErase4KB = 0x00201036;
inline constexpr std::uint32_t kSpiSetSoftwareProtect = 0x00391030;
inline constexpr std::uint32_t kSpiReadSoftwareProtect = 0x003C3130;
inline constexpr std::uint32_t kSpiProgram4Bytes = 0x00021435;
inline constexpr std::uint32_t kSpiProgram1Byte = 0x00021130;

inline constexpr std::uint32_t kFlashStatusBusy = 0x01;
inline constexpr std::uint32_t kFlashStatusWriteEnabled = 0x02;

inline constexpr std::uint32_t kFlashSize = 0x80000;
inline constexpr std::uint32_t kFlashSectorSize = 0x1000;
inline constexpr std::uint32_t kFlashSectorCount = kFlashSize / kFlashSectorSize;
inline constexpr std::uint32_t kBiosImageBase = 0x20000;
inline constexpr std::uint32_t kBiosImageSectors = 7;

// Bounds of the waits, counted in reads so that they add no driver call of their own.
// The SPI engine finishes a transaction within a few reads of its command register.
// A status read is a whole transaction, eight driver calls that each go into the
// kernel, so a million of them last many seconds: far beyond the slowest 4 KB sector
// erase (a few hundred milliseconds), yet a flash that never finishes ends the wait.
inline constexpr std::uint32_t kSpiCompletionPolls = 1000;
inline constexpr std::uint32_t kFlashBusyPolls = 1000000;

inline constexpr const char* kFlashDumpPathFormat = "/tmp/dmp_spi_flash_bus%d_dev%d_fun%d";
inline constexpr const char* kWholeFlashImagePath = "/tmp/dmp_spi_flash";
inline constexpr const char* kBiosImagePath = "/tmp/m9182bios.bin";

bool write_enable_9182_spi_flash(io_connect_t connect, sDevice* dev);
kern_return_t read_9182_spi_flash_status(io_connect_t connect, sDevice* dev, std::uint32_t* status);
bool get_9182_spi_flash_4Bytes(io_connect_t connect, sDevice* dev, std::uint32_t address, std::uint32_t* value);
bool get_VID_DID_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t* id);
// Fills the record's bios_ver; true only when every word was read.
bool get_M9182_BIOS_version(io_connect_t connect, sDevice* dev);
bool sector_erase_4KB_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address);
bool set_software_protect_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address);
bool read_software_protect_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address);
bool program_4Bytes_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address, std::uint32_t data);
bool program_1Byte_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address, std::uint32_t data);
bool dump_9182_spi_flash(io_connect_t connect, sDevice* dev);
bool program_BIOS_9182_spi_flash(io_connect_t connect, sDevice* dev);
bool program_whole_9182_spi_flash(io_connect_t connect, sDevice* dev);

// Where the last dump went: the fixed name, or the private file used because someone
// else held that name; empty before any dump.
const std::string& last_9182_spi_flash_dump_path();

// Entry points on a dock record: they open and close their own connection.
kern_return_t spi_flash_dump(sDevice* dev);
kern_return_t spi_flash_program_flash(sDevice* dev);

// Reads out.size() bytes (a multiple of 4) from address on, word by word, without a
// failure line of its own.
bool read_9182_spi_flash(io_connect_t connect, sDevice* dev, std::uint32_t address, std::span<std::uint8_t> out);

// The two flash types whose programming is known. Anything else is refused with
// "Flash type not support, ..." on standard error before any erase.
bool is_supported_9182_spi_flash(std::uint32_t id);
// How whole-flash programming fills a sector for an identity: 4 (Program 4 bytes),
// 1 (Program 1 byte) or 0 (it stays erased).
unsigned whole_flash_program_width(std::uint32_t id);

using FlashSectors = std::bitset<kFlashSectorCount>;
using FlashSectorHook = std::function<void(std::uint32_t sector)>;

// program_whole_9182_spi_flash on image bytes already read (byte n goes to address n;
// the bytes after the image's end are missing as after the end of the file), with all
// its lines. on_sector is told each sector after its progress line, before its erase.
bool program_whole_9182_spi_flash_bytes(io_connect_t connect, sDevice* dev, std::span<const std::uint8_t> image,
                                        const FlashSectorHook& on_sector);
// Erases the chosen sectors and programs into them what whole-flash programming
// would, without its lines; refuses an unsupported flash first.
bool program_9182_spi_flash_sectors(io_connect_t connect, sDevice* dev, std::span<const std::uint8_t> image,
                                    const FlashSectors& sectors, const FlashSectorHook& on_sector);

}  // namespace berth
