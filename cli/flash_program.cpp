#include "cli/flash_program.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "cli/cli_context.h"
#include "cli/flash_backup.h"
#include "cli/flash_progress.h"
#include "cli/regctl_session.h"
#include "lib/regctl/spi_flash.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

std::vector<std::uint8_t> read_image_file(const std::string& path) {
  // A directory opens as an empty stream: it must not pass for an empty image.
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) throw UsageError{path + " is not a readable file"};
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError{"cannot read " + path};
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() > kFlashSize)
    throw UsageError{path + " has " + std::to_string(bytes.size()) + " bytes; the flash holds " +
                     std::to_string(kFlashSize)};
  return bytes;
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
  std::optional<bool> verified;
  std::optional<std::size_t> first_difference;

  // The last sector started is done only when the programming succeeded.
  bool programming_ended(bool ok) {
    sectors_programmed = ok ? sectors_started : std::max<std::size_t>(sectors_started, 1) - 1;
    return ok;
  }
};

// The library's whole-flash programming of the file's bytes, with progress.
bool program_whole(ControllerSession& session, std::span<const std::uint8_t> file, Outcome& outcome) {
  FlashProgress progress(kFlashSectorCount);
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
  FlashSectors sectors;
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

void verify(ControllerSession& session, std::span<const std::uint8_t> expected, std::size_t file_size,
            Outcome& outcome) {
  std::vector<std::uint8_t> flash(kFlashSize);
  if (!read_9182_spi_flash(session.connection(), session.record(), 0, flash)) {
    write_err("flash program: the flash could not be read back\n");
    outcome.status = kIOReturnError;
    return;
  }
  const auto [at_flash, at_expected] = std::mismatch(flash.begin(), flash.end(), expected.begin());
  outcome.verified = at_flash == flash.end();
  if (*outcome.verified) return;
  const auto address = static_cast<std::size_t>(at_flash - flash.begin());
  outcome.first_difference = address;
  outcome.status = kIOReturnError;
  write_err(format("flash program: verify failed at 0x%05zX: the flash holds 0x%02X, %s 0x%02X\n", address, *at_flash,
                   address < file_size ? "the file" : "after the file's end erased", *at_expected));
}

nlohmann::ordered_json outcome_fields(const std::string& path, std::size_t file_size, const Outcome& outcome) {
  nlohmann::ordered_json fields{
      {"file", path}, {"file_bytes", file_size}, {"sectors_programmed", outcome.sectors_programmed}};
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
  const auto session = ControllerSession::open(service, {.flash_identity = true});
  if (!session) return finish(as_json, kIOReturnError);
  if (!back_up_flash(*session, backup, *path, real_hardware)) return finish(as_json, kIOReturnError);

  const std::vector<std::uint8_t> expected = flash_after(file);
  Outcome outcome;
  if (only_changed ? program_changed(*session, file, expected, outcome) : program_whole(*session, file, outcome)) {
    verify(*session, expected, file.size(), outcome);
  } else if (outcome.status == kIOReturnSuccess) {
    write_err("flash program: programming failed; the flash is left as far as it got\n");
    outcome.status = kIOReturnError;
  }
  if (outcome.status == kIOReturnSuccess && !as_json)
    write_out(format("flash program: %s programmed and verified\n", path->c_str()));
  return finish(as_json, outcome.status, outcome_fields(*path, file.size(), outcome));
}

}  // namespace berth::cli
