#include "cli/flash_program.h"

#include <algorithm>
#include <optional>
#include <string>

#include "cli/cli_context.h"
#include "cli/flash_backup.h"
#include "cli/flash_progress.h"
#include "cli/regctl_session.h"
#include "lib/regctl/spi_flash.h"
#include "platform/posix/input_file.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

// The image is refused before the flash is touched when it cannot be what the user
// meant: nothing at all (programming it would only erase the flash) or more than the
// flash holds. The size is checked on the opened file, before reading any of it.
std::vector<std::uint8_t> read_image_file(const std::string& path) {
  std::string bytes;
  try {
    bytes = read_input_file(path, kFlashSize);
  } catch (const InputFileError& error) {
    throw UsageError{path + " " + error.what() + "; the flash is left untouched"};
  }
  if (bytes.empty()) throw UsageError{path + " is empty; the flash is left untouched"};
  return {bytes.begin(), bytes.end()};
}

// What the flash holds after programming the file: its bytes, then erased bytes.
std::vector<std::uint8_t> flash_after(std::span<const std::uint8_t> file) {
  std::vector<std::uint8_t> bytes(file.begin(), file.end());
  bytes.resize(kFlashSize, 0xFF);
  return bytes;
}

bool sector_differs(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b, std::uint32_t sector) {
  const std::size_t first = std::size_t{sector} * kFlashSectorSize;
  return !std::equal(a.begin() + first, a.begin() + first + kFlashSectorSize, b.begin() + first);
}

struct Outcome {
  kern_return_t status = kIOReturnSuccess;
  std::size_t sectors_started = 0;
  std::size_t sectors_programmed = 0;
  FlashSectors written;  // the sectors erased and programmed: what the read-back covers
  std::optional<bool> verified;
  std::optional<std::size_t> first_difference;

  // Once the first erase has been sent the flash may differ from what it held.
  bool flash_changed() const { return sectors_started > 0; }
  // The last sector started is done only when the programming succeeded.
  bool programming_ended(bool ok) {
    sectors_programmed = ok ? sectors_started : std::max<std::size_t>(sectors_started, 1) - 1;
    return ok;
  }
};

// The library's whole-flash programming of the file's bytes, with progress.
bool program_whole(ControllerSession& session, std::span<const std::uint8_t> file, Outcome& outcome) {
  FlashProgress progress(kFlashSectorCount);
  outcome.written.set();
  const bool ok = program_whole_9182_spi_flash_bytes(session.connection(), session.record(), file,
                                                     [&](std::uint32_t) { progress.show(outcome.sectors_started++); });
  if (ok) progress.show(kFlashSectorCount);
  return outcome.programming_ended(ok);
}

// Reads the flash, then erases and programs the sectors that differ from what a whole
// program would leave, with the same bytes.
bool program_changed(ControllerSession& session, std::span<const std::uint8_t> file,
                     std::span<const std::uint8_t> expected, Outcome& outcome) {
  std::vector<std::uint8_t> current(kFlashSize);
  if (!read_9182_spi_flash(session.connection(), session.record(), 0, current)) {
    write_err("flash program: the flash could not be read\n");
    outcome.status = kIOReturnError;
    return false;
  }
  FlashSectors& sectors = outcome.written;
  for (std::uint32_t sector = 0; sector < kFlashSectorCount; ++sector)
    if (sector_differs(current, expected, sector)) sectors.set(sector);
  write_out(format("flash program: %zu of %u sectors differ\n", sectors.count(), kFlashSectorCount));
  if (sectors.none()) return true;
  FlashProgress progress(sectors.count());
  const bool ok = program_9182_spi_flash_sectors(session.connection(), session.record(), file, sectors,
                                                 [&](std::uint32_t) { progress.show(outcome.sectors_started++); });
  if (ok) progress.show(sectors.count());
  return outcome.programming_ended(ok);
}

// Reads back every byte of every sector written; a sector left alone was read just
// before and held its bytes already.
void verify(ControllerSession& session, std::span<const std::uint8_t> expected, std::size_t file_size,
            Outcome& outcome) {
  std::vector<std::uint8_t> flash(kFlashSectorSize);
  outcome.verified = true;
  for (std::uint32_t sector = 0; sector < kFlashSectorCount; ++sector) {
    if (!outcome.written.test(sector)) continue;
    const std::uint32_t first = sector * kFlashSectorSize;
    if (!read_9182_spi_flash(session.connection(), session.record(), first, flash)) {
      write_err("flash program: the flash could not be read back\n");
      outcome.verified.reset();
      outcome.status = kIOReturnError;
      return;
    }
    const auto want = expected.subspan(first, kFlashSectorSize);
    const auto [at_flash, at_expected] = std::mismatch(flash.begin(), flash.end(), want.begin());
    if (at_flash == flash.end()) continue;
    const std::size_t address = first + static_cast<std::size_t>(at_flash - flash.begin());
    outcome.verified = false;
    outcome.first_difference = address;
    outcome.status = kIOReturnError;
    write_err(format("flash program: verify failed at 0x%05zX: the flash holds 0x%02X, %s 0x%02X\n", address,
                     *at_flash, address < file_size ? "the file" : "after the file's end erased", *at_expected));
    return;
  }
}

// The rest of the flash is erased, as a whole program always did: said, since a short
// file may also be a file cut short.
std::string erased_rest(std::size_t file_size) {
  if (file_size >= kFlashSize) return "";
  return format("; it has %zu bytes, the flash's last %zu bytes are left erased (0xFF)", file_size,
                kFlashSize - file_size);
}

// Whether to program again is what a user must know after a failure.
void report_failure(const Outcome& outcome) {
  write_err(outcome.flash_changed()
                ? "flash program: failed after the flash was changed; it holds neither the old nor the new "
                  "contents for certain: program it again\n"
                : "flash program: failed before anything was erased; the flash is left untouched\n");
}

nlohmann::ordered_json outcome_fields(const std::string& path, std::size_t file_size, const Outcome& outcome) {
  nlohmann::ordered_json fields{{"file", path},
                                {"file_bytes", file_size},
                                {"sectors_programmed", outcome.sectors_programmed},
                                {"flash_changed", outcome.flash_changed()}};
  if (outcome.verified) fields["verified"] = *outcome.verified;
  if (outcome.first_difference) fields["first_difference"] = format("0x%05zX", *outcome.first_difference);
  return fields;
}

}  // namespace

int flash_program(std::vector<std::string_view> args, bool real_hardware) {
  const bool as_json = take_flag(args, "--json");
  const auto path = take_option(args, "--file");
  const bool only_changed = take_flag(args, "--only-changed");
  const auto backup = take_option(args, "--backup");
  const std::uint32_t service = take_service(args);
  expect_no_more(args);
  if (!path) throw UsageError{"flash program needs --file FILE"};
  const std::vector<std::uint8_t> file = read_image_file(*path);
  Outcome outcome;
  const auto session = ControllerSession::open(service, {.flash_identity = true});
  if (!session) {
    report_failure(outcome);
    return finish(as_json, kIOReturnError, outcome_fields(*path, file.size(), outcome));
  }
  if (!back_up_flash(*session, backup, *path, real_hardware)) {
    report_failure(outcome);
    return finish(as_json, kIOReturnError, outcome_fields(*path, file.size(), outcome));
  }
  const std::vector<std::uint8_t> expected = flash_after(file);
  if (only_changed ? program_changed(*session, file, expected, outcome) : program_whole(*session, file, outcome))
    verify(*session, expected, file.size(), outcome);
  else outcome.status = kIOReturnError;
  if (outcome.status != kIOReturnSuccess) report_failure(outcome);
  else if (!as_json) write_out(format("flash program: %s programmed and verified%s\n", path->c_str(),
                                      erased_rest(file.size()).c_str()));
  return finish(as_json, outcome.status, outcome_fields(*path, file.size(), outcome));
}

}  // namespace berth::cli
