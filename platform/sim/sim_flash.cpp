#include "platform/sim/sim_flash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/services.h"

namespace berth::sim {
namespace {

constexpr std::uint8_t kOpRead = 0x03;
constexpr std::uint8_t kOpWriteEnable = 0x06;
constexpr std::uint8_t kOpReadIdentity = 0x9F;
constexpr std::uint8_t kOpReadStatus = 0x05;
constexpr std::uint8_t kOpSectorErase = 0x20;
constexpr std::uint8_t kOpUnprotectSector = 0x39;
constexpr std::uint8_t kOpReadProtection = 0x3C;
constexpr std::uint8_t kOpProgram = 0x02;

std::uint32_t byte_mask(unsigned byte_count) {
  return byte_count >= 4 ? 0xFFFFFFFFu : (1u << (8 * byte_count)) - 1;
}

}  // namespace

SimFlash::SimFlash(const FlashConfig& config, bool stuck_busy)
    : id_(config.id),
      contents_(config.contents),
      protected_(kSimFlashSize / kSimFlashSectorSize, config.all_protected),
      stuck_zero_(kSimFlashSize, false),
      image_(config.image),
      persist_(config.persist),
      busy_polls_(config.busy_polls),
      stuck_busy_(stuck_busy) {
  contents_.resize(kSimFlashSize, 0xFF);
  for (const auto address : config.stuck_zero) stuck_zero_[address] = true;
}

SimFlash::~SimFlash() {
  if (persist_) persist();
}

// A new file beside the image, renamed over it when whole: a reader, or a command
// that ends half-way, never meets an image that is part old and part new.
void SimFlash::persist() const {
  std::string temporary = image_.string() + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  bool ok = fd >= 0;
  // The image keeps its permissions; a new one gets the usual ones, not mkstemp's 0600.
  struct stat old {};
  if (ok) ::fchmod(fd, ::stat(image_.c_str(), &old) == 0 ? old.st_mode & 07777 : 0644);
  for (std::size_t written = 0; ok && written < contents_.size();) {
    const ssize_t n = ::write(fd, contents_.data() + written, contents_.size() - written);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) written += static_cast<std::size_t>(n);
  }
  if (fd >= 0) ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temporary.c_str(), image_.c_str()) == 0;
  if (ok) return;
  if (fd >= 0) ::unlink(temporary.c_str());
  write_err("sim: cannot write the flash image back to " + image_.string() + "\n");
}

std::uint8_t SimFlash::byte_at(std::uint32_t address) const {
  address %= kSimFlashSize;
  return stuck_zero_[address] ? 0 : contents_[address];
}

std::uint8_t SimFlash::status() const {
  return static_cast<std::uint8_t>((busy_ ? kFlashStatusBusy : 0) | (write_enabled_ ? kFlashStatusWriteEnabled : 0));
}

std::uint32_t SimFlash::command(std::uint8_t opcode, std::uint32_t address, std::uint32_t data, unsigned byte_count) {
  if (opcode == kOpReadStatus) return read_status() & byte_mask(byte_count);
  if (busy_) {
    ++violations_.while_busy;  // a busy flash ignores everything but Read status
    return 0;
  }
  switch (opcode) {
    case kOpRead: return read_bytes(address, byte_count);
    case kOpReadIdentity: return id_ & byte_mask(byte_count);
    case kOpWriteEnable: write_enabled_ = true; return 0;
    case kOpSectorErase: erase_sector(address); return 0;
    case kOpProgram: program(address, data, byte_count); return 0;
    case kOpUnprotectSector: unprotect(address); return 0;
    case kOpReadProtection: return (sector_protected(address) ? 0xFFu : 0u) & byte_mask(byte_count);
    default: ++violations_.unknown_commands; return 0;
  }
}

std::uint32_t SimFlash::read_bytes(std::uint32_t address, unsigned byte_count) const {
  std::uint32_t value = 0;
  for (unsigned i = 0; i < byte_count && i < 4; ++i) value |= std::uint32_t{byte_at(address + i)} << (8 * i);
  return value;
}

std::uint32_t SimFlash::read_status() {
  const std::uint32_t value = status();
  if (busy_ && !stuck_busy_ && busy_reads_left_-- == 0) {
    // The operation finishes after this read; the latch goes with it.
    busy_ = false;
    write_enabled_ = false;
  }
  return value;
}

// Erase, program and unprotect need the latch; each clears it.
bool SimFlash::may_write(std::uint32_t address) {
  if (!write_enabled_) {
    ++violations_.without_write_enable;
    return false;
  }
  if (sector_protected(address)) {
    ++violations_.on_protected_sector;
    write_enabled_ = false;
    return false;
  }
  return true;
}

void SimFlash::start_busy() {
  if (busy_polls_ == 0 && !stuck_busy_) {
    write_enabled_ = false;
    return;
  }
  busy_ = true;
  busy_reads_left_ = busy_polls_ == 0 ? 0 : busy_polls_ - 1;
}

void SimFlash::erase_sector(std::uint32_t address) {
  if (!may_write(address)) return;
  const std::uint32_t first = sector_of(address) * kSimFlashSectorSize;
  std::fill_n(contents_.begin() + first, kSimFlashSectorSize, 0xFF);
  ++counts_.erases;
  start_busy();
}

void SimFlash::program(std::uint32_t address, std::uint32_t data, unsigned byte_count) {
  if (!may_write(address)) return;
  // Bytes wrap within their 256-byte page, as on the chip.
  const std::uint32_t page = (address % kSimFlashSize) & ~0xFFu;
  for (unsigned i = 0; i < byte_count && i < 4; ++i) {
    const std::uint32_t at = page | ((address + i) & 0xFF);
    const auto wanted = static_cast<std::uint8_t>(data >> (8 * i));
    if ((contents_[at] & wanted) != wanted) ++violations_.program_over_unerased;
    contents_[at] &= wanted;
  }
  counts_.bytes_programmed += byte_count;
  start_busy();
}

void SimFlash::unprotect(std::uint32_t address) {
  if (!write_enabled_) {
    ++violations_.without_write_enable;
    return;
  }
  protected_[sector_of(address)] = false;
  write_enabled_ = false;
}

}  // namespace berth::sim
