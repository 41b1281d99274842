// The whole-flash dump to its /tmp file, and the two flash entry points that open
// their own connection on a dock record.
#include <cstdio>

#include "lib/regctl/regctl_tool.h"
#include "lib/regctl/spi_flash.h"
#include "lib/regctl/tmp_files.h"
#include "platform/services.h"

namespace berth {
namespace {

constexpr std::uint32_t kEchoedDumpEnd = 0x140;  // words below it are echoed

bool dump_words(io_connect_t connect, sDevice* dev, std::FILE* out) {
  for (std::uint32_t address = 0; address < kFlashSize; address += 4) {
    std::uint8_t bytes[4];
    if (!read_9182_spi_flash(connect, dev, address, bytes)) return false;
    if (std::fwrite(bytes, 1, sizeof bytes, out) != sizeof bytes) return false;
    if (address + 4 < kEchoedDumpEnd) {
      std::uint32_t word = 0;
      for (unsigned n = 0; n < 4; ++n) word |= std::uint32_t{bytes[n]} << (8 * n);
      err_printf("[%08X]\n", word);
    }
  }
  return std::fflush(out) == 0;
}

}  // namespace

bool dump_9182_spi_flash(io_connect_t connect, sDevice* dev) {
  FilePtr file;
  if (dev != nullptr) {
    char path[128];
    std::snprintf(path, sizeof path, kFlashDumpPathFormat, static_cast<int>(dev->bus_num),
                  static_cast<int>(dev->dev_num), static_cast<int>(dev->fun_num));
    file = create_private_file(path);
  }
  // Closing can fail too (the last buffered bytes are written then).
  if (!file || !dump_words(connect, dev, file.get()) || std::fclose(file.release()) != 0) {
    err_printf("dump_9182_spi_flash Err\n");
    return false;
  }
  return true;
}

kern_return_t spi_flash_dump(sDevice* dev) {
  if (dev == nullptr || dev->service == 0) return kIOReturnBadArgument;
  return run_on_record_service(
      dev, "spi_flash_dump", [dev](io_connect_t c) { return dump_9182_spi_flash(c, dev); }, true);
}

kern_return_t spi_flash_program_flash(sDevice* dev) {
  if (dev == nullptr || dev->service == 0) return kIOReturnBadArgument;
  return run_on_record_service(dev, "spi_flash_program_flash",
                               [dev](io_connect_t c) { return program_whole_9182_spi_flash(c, dev); }, true);
}

}  // namespace berth
