#include "lib/regctl/tmp_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/services.h"

namespace berth {
namespace {

struct Descriptor {
  int fd;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  int release() { return std::exchange(fd, -1); }
};

const char* open_failure(int error) {
  if (error == ELOOP) return "it is a symbolic link";
  if (error == ENXIO) return "it is not a plain file";  // a FIFO nobody reads
  return std::strerror(error);
}

// The reason not to use the file, or null when it is the caller's own plain file
// with no other name.
const char* refusal(int fd, bool for_writing) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::strerror(errno);
  if (!S_ISREG(info.st_mode)) return "it is not a plain file";
  if (for_writing && info.st_uid != ::geteuid()) return "it belongs to another user";
  if (for_writing && info.st_nlink != 1) return "it has other names (hard links)";
  return nullptr;
}

// The descriptor was opened without blocking, so that a FIFO planted under the name
// cannot hold the open; a plain file is used with ordinary blocking I/O.
FilePtr adopt(Descriptor& descriptor, const char* mode) {
  const int flags = ::fcntl(descriptor.fd, F_GETFL);
  if (flags < 0 || ::fcntl(descriptor.fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
  FilePtr file(::fdopen(descriptor.fd, mode));
  if (file) descriptor.release();
  return file;
}

}  // namespace

FilePtr create_private_file(const char* path) {
  Descriptor descriptor{::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600)};
  const char* reason = descriptor.fd < 0 ? open_failure(errno) : refusal(descriptor.fd, true);
  // An old file of ours may have been readable by others: make it private first.
  if (reason == nullptr && (::fchmod(descriptor.fd, 0600) != 0 || ::ftruncate(descriptor.fd, 0) != 0))
    reason = std::strerror(errno);
  if (reason != nullptr) {
    err_printf("cannot write %s: %s\n", path, reason);
    return nullptr;
  }
  return adopt(descriptor, "wb");
}

FilePtr create_unique_private_file(std::string& path_template) {
  Descriptor descriptor{::mkostemp(path_template.data(), O_CLOEXEC)};
  if (descriptor.fd < 0) {
    err_printf("cannot create %s: %s\n", path_template.c_str(), std::strerror(errno));
    return nullptr;
  }
  return adopt(descriptor, "wb");
}

FilePtr open_file_nofollow(const char* path) {
  Descriptor descriptor{::open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
  if (descriptor.fd < 0 && errno == ENOENT) return nullptr;
  const char* reason = descriptor.fd < 0 ? open_failure(errno) : refusal(descriptor.fd, false);
  if (reason != nullptr) {
    err_printf("cannot read %s: %s\n", path, reason);
    return nullptr;
  }
  return adopt(descriptor, "rb");
}

}  // namespace berth
