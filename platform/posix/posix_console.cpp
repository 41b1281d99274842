#include "platform/posix/posix_console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace berth {

void PosixConsole::write(Stream stream, std::string_view text) {
  std::FILE* file = stream == Stream::err ? stderr : stdout;
  std::fwrite(text.data(), 1, text.size(), file);
  // Diagnostics on both streams must interleave in the order they were made.
  if (stream == Stream::err) std::fflush(stdout);
}

std::optional<std::uint32_t> PosixConsole::terminal_columns(Stream stream) {
  const int fd = stream == Stream::out ? STDOUT_FILENO : stream == Stream::err ? STDERR_FILENO : STDIN_FILENO;
  winsize size{};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0) return std::nullopt;
  return size.ws_col;
}

}  // namespace berth
