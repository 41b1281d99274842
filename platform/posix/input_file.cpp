#include "platform/posix/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/posix/unique_fd.h"

namespace berth {
namespace {

[[noreturn]] void fail_errno(const char* what) { throw InputFileError(std::string(what) + ": " + std::strerror(errno)); }

std::string kind_refused(mode_t mode) {
  if (S_ISDIR(mode)) return "is a directory, not a file";
  if (S_ISFIFO(mode)) return "is a pipe, not a regular file";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  return "is not a regular file";
}

std::string too_big(std::size_t size, std::size_t max_bytes) {
  return "has " + std::to_string(size) + " bytes; at most " + std::to_string(max_bytes) + " are read";
}

}  // namespace

std::string read_input_file(const std::filesystem::path& path, std::size_t max_bytes) {
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.get() < 0) fail_errno("cannot open the file");
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) fail_errno("cannot read the file");
  if (!S_ISREG(status.st_mode)) throw InputFileError(kind_refused(status.st_mode));
  const auto size = static_cast<std::uintmax_t>(status.st_size);
  if (size > max_bytes) throw InputFileError(too_big(static_cast<std::size_t>(size), max_bytes));
  // One byte more than allowed is asked for, so a file that grows while it is read is
  // still caught.
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::size_t length = 0;
  while (length < text.size() && length <= max_bytes) {
    const ssize_t n = ::read(fd.get(), text.data() + length, text.size() - length);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail_errno("cannot read the file");
    if (n == 0) break;
    length += static_cast<std::size_t>(n);
    if (length == text.size() && length <= max_bytes) text.resize(std::min(text.size() * 2, max_bytes + 1));
  }
  if (length > max_bytes) throw InputFileError(too_big(length, max_bytes));
  text.resize(length);
  return text;
}

}  // namespace berth
