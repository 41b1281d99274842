#include "cli/flash_program.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "cli/cli_context.h"
#include "cli/regctl_session.h"
#include "lib/regctl/spi_flash.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

// Progress on standard error: a bar redrawn in place on a terminal, else a line at
// every tenth.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total) {
    if (ConsolePort* console = services().console) columns_ = console->terminal_columns(Stream::err);
  }
  void show(std::size_t done) {
    const auto percent = static_cast<unsigned>(done * 100 / std::max<std::size_t>(total_, 1));
    if (columns_) {
      draw_bar(percent);
    } else if (percent / 10 != last_tenth_) {
      last_tenth_ = percent / 10;
      write_err(format("flash program: %u%%\n", percent));
    }
  }
  void finish() {
    show(total_);
    end_bar();
  }
  // Ends the bar's line so that what follows starts on a line of its own.
  void end_bar() {
    if (columns_) write_err("\n");
  }

 private:
  void draw_bar(unsigned percent) {
    const std::uint32_t width = *columns_ > 30 ? std::min<std::uint32_t>(*columns_ - 10, 60) : 20;
    const std::uint32_t filled = width * percent / 100;
    write_err("\r[" + std::string(filled, '#') + std::string(width - filled, '.') + format("] %3u%%", percent));
  }

  std::size_t total_;
  std::optional<std::uint32_t> columns_;
  unsigned last_tenth_ = 11;
};

std::vector<std::uint8_t> read_image_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError{"cannot read " + path};
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() > kFlashSize)
    throw UsageError{path + " has " + std::to_string(bytes.size()) + " bytes; the flash holds " + std::to_string(kFlashSize)};
  bytes.resize(kFlashSize, 0xFF);  // what programming leaves after the end of the file
  return bytes;
}

bool sector_differs(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, std::uint32_t sector) {
  const std::size_t first = std::size_t{sector} * kFlashSectorSize;
  return !std::equal(a.begin() + first, a.begin() + first + kFlashSectorSize, b.begin() + first);
}

std::optional<FlashSectors> changed_sectors(ControllerSession& session, std::span<const std::uint8_t> image) {
  std::vector<std::uint8_t> current(kFlashSize);
  if (!read_9182_spi_flash(session.connection(), session.record(), 0, current)) return std::nullopt;
  FlashSectors sectors;
  for (std::uint32_t sector = 0; sector < kFlashSectorCount; ++sector)
    if (sector_differs(current, image, sector)) sectors.set(sector);
  return sectors;
}

int verify(ControllerSession& session, std::span<const std::uint8_t> image) {
  std::vector<std::uint8_t> flash(kFlashSize);
  if (!read_9182_spi_flash(session.connection(), session.record(), 0, flash)) {
    write_err("flash program: the flash could not be read back\n");
    return kExitFailed;
  }
  const auto [at_flash, at_image] = std::mismatch(flash.begin(), flash.end(), image.begin());
  if (at_flash != flash.end()) {
    write_err(format("flash program: verify failed at 0x%05zX: the flash holds 0x%02X, the file 0x%02X\n",
                     static_cast<std::size_t>(at_flash - flash.begin()), *at_flash, *at_image));
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int flash_program(std::vector<std::string_view> args) {
  const auto path = take_option(args, "--file");
  const bool only_changed = take_flag(args, "--only-changed");
  const std::uint32_t service = take_service(args);
  expect_no_more(args);
  if (!path) throw UsageError{"flash program needs --file FILE"};
  const std::vector<std::uint8_t> image = read_image_file(*path);
  const auto session = ControllerSession::open(service);
  if (!session) return kExitFailed;

  FlashSectors sectors;
  sectors.set();
  if (only_changed) {
    const auto changed = changed_sectors(*session, image);
    if (!changed) {
      write_err("flash program: the flash could not be read\n");
      return kExitFailed;
    }
    sectors = *changed;
    write_out(format("flash program: %zu of %u sectors differ\n", sectors.count(), kFlashSectorCount));
  }
  if (sectors.any()) {
    Progress progress(sectors.count());
    std::size_t done = 0;
    const bool ok = program_9182_spi_flash_image(session->connection(), session->record(), image, sectors,
                                                 [&](std::uint32_t) { progress.show(done++); });
    if (!ok) {
      progress.end_bar();
      write_err("flash program: programming failed; the flash is left as far as it got\n");
      return kExitFailed;
    }
    progress.finish();
  }
  if (verify(*session, image) != kExitOk) return kExitFailed;
  write_out(format("flash program: %s programmed and verified\n", path->c_str()));
  return kExitOk;
}

}  // namespace berth::cli
