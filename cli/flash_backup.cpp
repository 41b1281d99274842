#include "cli/flash_backup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "lib/regctl/spi_flash.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

constexpr int kMaxNumberedBackups = 99;

// Creates `path` as a new file (never over an existing one, never through a link) and
// writes all of `bytes` to disk; on failure the partial file is removed and errno kept.
bool write_new_file(const std::string& path, std::span<const std::uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  int error = 0;
  for (std::size_t written = 0; written < bytes.size() && error == 0;) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n > 0) written += static_cast<std::size_t>(n);
    else if (n == 0) error = EIO;
    else if (errno != EINTR) error = errno;
  }
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0) return true;
  ::unlink(path.c_str());
  errno = error;
  return false;
}

// The chosen file, or the first free name of IMAGE.backup, IMAGE.backup-2, ...
bool write_backup(std::span<const std::uint8_t> flash, const std::optional<std::string>& chosen,
                  const std::string& image, std::string& path) {
  if (chosen) {
    path = *chosen;
    return write_new_file(path, flash);
  }
  for (int n = 1; n <= kMaxNumberedBackups; ++n) {
    path = image + ".backup" + (n == 1 ? std::string() : "-" + std::to_string(n));
    if (write_new_file(path, flash)) return true;
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace

bool back_up_flash(ControllerSession& session, const std::optional<std::string>& chosen, const std::string& image,
                   bool real_hardware) {
  if (!chosen && !real_hardware) return true;
  std::vector<std::uint8_t> flash(kFlashSize);
  if (!read_9182_spi_flash(session.connection(), session.record(), 0, flash)) {
    write_err("flash program: the flash could not be read for its backup; nothing is programmed\n");
    return false;
  }
  std::string path;
  if (!write_backup(flash, chosen, image, path)) {
    write_err(format("flash program: the backup cannot be written to %s (%s); nothing is programmed\n", path.c_str(),
                     std::strerror(errno)));
    return false;
  }
  write_out(format("flash program: the flash as it was is saved in %s\n", path.c_str()));
  return true;
}

}  // namespace berth::cli
