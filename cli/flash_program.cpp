#include "cli/flash_program.h"

#include <algorithm>
#include <filesystem>
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
  // A directory opens as an empty stream: it must not pass for an empty image.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) throw UsageError{path + " is not a readable file"};
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

// Every sector, or with only_changed those whose read-back differs from the image;
// nothing when the flash cannot be read.
std::optional<FlashSectors> sectors_to_program(ControllerSession& session, std::span<const std::uint8_t> image,
                                               bool only_changed) {
  FlashSectors sectors;
  if (!only_changed) return sectors.set();
  std::vector<std::uint8_t> current(kFlashSize);
  if (!read_9182_spi_flash(session.connection(), session.record(), 0, current)) return std::nullopt;
  for (std::uint32_t sector = 0; sector < kFlashSectorCount; ++sector)
    if (sector_differs(current, image, sector)) sectors.set(sector);
  write_out(format("flash program: %zu of %u sectors differ\n", sectors.count(), kFlashSectorCount));
  return sectors;
}

bool program_with_progress(ControllerSession& session, std::span<const std::uint8_t> image, const FlashSectors& sectors) {
  Progress progress(sectors.count());
  std::size_t done = 0;
  const bool ok = program_9182_spi_flash_image(session.connection(), session.record(), image, sectors,
                                               [&](std::uint32_t) { progress.show(done++); });
  if (ok) {
    progress.finish();
    return true;
  }
  progress.end_bar();
  write_err("flash program: programming failed; the flash is left as far as it got\n");
  return false;
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

  const auto sectors = sectors_to_program(*session, image, only_changed);
  if (!sectors) {
    write_err("flash program: the flash could not be read\n");
    return kExitFailed;
  }
  if (sectors->any() && !program_with_progress(*session, image, *sectors)) return kExitFailed;
  if (verify(*session, image) != kExitOk) return kExitFailed;
  write_out(format("flash program: %s programmed and verified\n", path->c_str()));
  return kExitOk;
}

}  // namespace berth::cli
