// Programming the flash from an image: the whole flash (from /tmp/dmp_spi_flash or
// from bytes in memory), chosen sectors of it, and the BIOS image region (from
// /tmp/m9182bios.bin).
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

#include "lib/regctl/spi_flash.h"
#include "lib/regctl/tmp_files.h"
#include "platform/services.h"

namespace berth {
namespace {

struct KnownFlash {
  std::uint8_t manufacturer;
  std::uint32_t device;  // bits 8-23 of the identity word
};
constexpr KnownFlash kKnownFlashes[] = {{0xEF, 0x1330}, {0x1F, 0x0144}};

enum class SectorFill { done, end_of_image, failed };

constexpr std::uint32_t erased_word(unsigned width) { return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1; }

// Programs one freshly erased sector from `source` (the image bytes meant for it,
// possibly fewer than a sector): word by word, or byte by byte for width 1. A word whose
// first byte is past the end stops the sector; missing bytes after the first are 0xFF.
// A word of all ones is what the erase left there: programming it changes nothing, so
// it is skipped (most images are largely erased space).
SectorFill fill_sector(io_connect_t connect, sDevice* dev, std::uint32_t address, std::span<const std::uint8_t> source,
                       unsigned width, std::uint32_t& programmed) {
  for (std::uint32_t offset = 0; offset < kFlashSectorSize; offset += width) {
    if (offset >= source.size()) return SectorFill::end_of_image;
    std::uint32_t data = 0;
    for (unsigned n = 0; n < width; ++n)
      data |= std::uint32_t{offset + n < source.size() ? source[offset + n] : std::uint8_t{0xFF}} << (8 * n);
    programmed += width;
    if (data == erased_word(width)) continue;
    const bool ok = width == 4 ? program_4Bytes_9182_spi_flash(connect, dev, address + offset, data)
                               : program_1Byte_9182_spi_flash(connect, dev, address + offset, data);
    if (!ok) return SectorFill::failed;
  }
  return SectorFill::done;
}

std::span<const std::uint8_t> sector_source(std::span<const std::uint8_t> image, std::uint32_t offset) {
  return offset >= image.size() ? std::span<const std::uint8_t>{}
                                : image.subspan(offset, std::min<std::size_t>(kFlashSectorSize, image.size() - offset));
}

// Up to `limit` bytes of a file opened without following a link.
std::optional<std::vector<std::uint8_t>> read_image(const char* path, std::size_t limit) {
  const FilePtr file = open_file_nofollow(path);
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes(limit);
  bytes.resize(std::fread(bytes.data(), 1, limit, file.get()));
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

// Erases one sector and fills it from the image as whole-flash programming does.
SectorFill program_sector(io_connect_t connect, sDevice* dev, std::uint32_t sector, std::span<const std::uint8_t> image,
                          std::uint32_t& programmed) {
  const std::uint32_t address = sector * kFlashSectorSize;
  if (!sector_erase_4KB_9182_spi_flash(connect, dev, address)) return SectorFill::failed;
  const unsigned width = whole_flash_program_width(dev->spi_flash_id);
  if (width == 0) return SectorFill::done;
  return fill_sector(connect, dev, address, sector_source(image, address), width, programmed);
}

bool whole_flash_failed() {
  err_printf("program_whole_9182_spi_flash error done\n");
  return false;
}

// Every sector in turn with its progress line, after the identity line and the file.
bool program_all_sectors(io_connect_t connect, sDevice* dev, std::span<const std::uint8_t> image,
                         const FlashSectorHook& on_sector) {
  if (!is_supported_9182_spi_flash(dev->spi_flash_id)) return whole_flash_failed();
  std::uint32_t programmed = 0;
  dev->dev_aux_v = 0;
  for (std::uint32_t sector = 0; sector < kFlashSectorCount; ++sector) {
    dev->dev_aux_v = sector * 100 / kFlashSectorCount;
    err_printf("Doing program_whole_9182_spi_flash, sec_cnt = %08X, pgs=%d\n", sector,
               static_cast<int>(dev->dev_aux_v));
    if (on_sector) on_sector(sector);
    const SectorFill fill = program_sector(connect, dev, sector, image, programmed);
    if (fill == SectorFill::failed) return whole_flash_failed();
    if (fill == SectorFill::end_of_image)
      err_printf("WARN: program_whole_9182_spi_flash, read dmp_spi_flash EOF, total_bytes=%x\n", programmed);
  }
  return true;
}

}  // namespace

bool is_supported_9182_spi_flash(std::uint32_t id) {
  const std::uint32_t manufacturer = id & 0xFF;
  const std::uint32_t device = (id >> 8) & 0xFFFF;
  bool manufacturer_known = false;
  for (const auto& known : kKnownFlashes) {
    if (known.manufacturer != manufacturer) continue;
    manufacturer_known = true;
    if (known.device == device) return true;
  }
  if (!manufacturer_known) err_printf("Flash type not support, unknown ven id = %Xh\n", manufacturer);
  else err_printf("Flash type not support, unknown dev id = %Xh\n", device);
  return false;
}

unsigned whole_flash_program_width(std::uint32_t id) {
  if ((id & 0xEF) != 0) return 4;
  if ((id & 0x1F) != 0) return 1;
  return 0;
}

bool program_whole_9182_spi_flash_bytes(io_connect_t connect, sDevice* dev, std::span<const std::uint8_t> image,
                                        const FlashSectorHook& on_sector) {
  if (dev == nullptr) return whole_flash_failed();
  err_printf("spi_flash_type = %Xh\n", dev->spi_flash_id);
  return program_all_sectors(connect, dev, image, on_sector);
}

bool program_whole_9182_spi_flash(io_connect_t connect, sDevice* dev) {
  if (dev == nullptr) return whole_flash_failed();
  err_printf("spi_flash_type = %Xh\n", dev->spi_flash_id);
  const auto image = read_image(kWholeFlashImagePath, kFlashSize);
  if (!image) {
    err_printf("Can't find dmp_spi_flash Err\n");
    return whole_flash_failed();
  }
  return program_all_sectors(connect, dev, *image, {});
}

bool program_9182_spi_flash_sectors(io_connect_t connect, sDevice* dev, std::span<const std::uint8_t> image,
                                    const FlashSectors& sectors, const FlashSectorHook& on_sector) {
  if (dev == nullptr || !is_supported_9182_spi_flash(dev->spi_flash_id)) return false;
  std::uint32_t programmed = 0;
  for (std::uint32_t sector = 0; sector < kFlashSectorCount; ++sector) {
    if (!sectors.test(sector)) continue;
    if (on_sector) on_sector(sector);
    if (program_sector(connect, dev, sector, image, programmed) == SectorFill::failed) return false;
  }
  return true;
}

// A failed erase or program fails the whole operation: the region would otherwise be
// left erased or half written behind a success.
bool program_BIOS_9182_spi_flash(io_connect_t connect, sDevice* dev) {
  const auto image = read_image(kBiosImagePath, kBiosImageSectors * kFlashSectorSize);
  if (!image) return false;
  std::uint32_t programmed = 0;
  for (std::uint32_t n = 0; n < kBiosImageSectors; ++n) {
    const std::uint32_t address = kBiosImageBase + n * kFlashSectorSize;
    SectorFill fill = SectorFill::failed;
    if (sector_erase_4KB_9182_spi_flash(connect, dev, address))
      fill = fill_sector(connect, dev, address, sector_source(*image, n * kFlashSectorSize), 4, programmed);
    if (fill == SectorFill::failed) {
      err_printf("program_BIOS_9182_spi_flash Err\n");
      return false;
    }
    if (fill == SectorFill::end_of_image)
      write_out(
          format("WARN: program_BIOS_9182_spi_flash, read m9182bios.bin EOF, total_bytes_from_bios=%x\n", programmed));
  }
  write_out("program_BIOS_9182_spi_flash done\n");
  return true;
}

}  // namespace berth
