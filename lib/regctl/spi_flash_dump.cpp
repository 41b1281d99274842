// The whole-flash dump to its /tmp file, and the two flash entry points that open
// their own connection on a dock record.
#include <cstdio>
#include <string>

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

std::string gLastDumpPath;

// The fixed name, or, when someone else holds that name (another user's file, a
// link, a FIFO: a local user could otherwise block every dump for good), a private file
// beside it, which the output names.
FilePtr create_dump_file(const sDevice& dev) {
  char path[128];
  std::snprintf(path, sizeof path, kFlashDumpPathFormat, static_cast<int>(dev.bus_num), static_cast<int>(dev.dev_num),
                static_cast<int>(dev.fun_num));
  gLastDumpPath = path;
  if (FilePtr file = create_private_file(path)) return file;
  std::string fallback = gLastDumpPath + ".XXXXXX";
  FilePtr file = create_unique_private_file(fallback);
  if (!file) return nullptr;
  err_printf("dump_9182_spi_flash: %s is taken; the dump goes to %s\n", path, fallback.c_str());
  gLastDumpPath = fallback;
  return file;
}

}  // namespace

const std::string& last_9182_spi_flash_dump_path() { return gLastDumpPath; }

bool dump_9182_spi_flash(io_connect_t connect, sDevice* dev) {
  FilePtr file;
  gLastDumpPath.clear();
  if (dev != nullptr) file = create_dump_file(*dev);
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
