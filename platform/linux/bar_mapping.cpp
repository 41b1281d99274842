#include "platform/linux/bar_mapping.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <string>

#include "platform/posix/unique_fd.h"

namespace berth::linux_host {
namespace {

constexpr kern_return_t kOutOfRange = 0xE00002C2;  // the system's bad-argument status

std::uint32_t from_little_endian(std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap32(value);
  return value;
}

}  // namespace

BarMapping::~BarMapping() {
  ::munmap(base_, length_);
  ::close(fd_);
}

bool BarMapping::fits(std::uint64_t offset) const {
  return offset % 4 == 0 && length_ >= 4 && offset <= length_ - 4;
}

kern_return_t BarMapping::read32(std::uint64_t offset, std::uint32_t& value) const {
  if (!fits(offset)) return kOutOfRange;
  const auto* reg = reinterpret_cast<const volatile std::uint32_t*>(static_cast<const char*>(base_) + offset);
  value = from_little_endian(*reg);
  return kIOReturnSuccess;
}

kern_return_t BarMapping::write32(std::uint64_t offset, std::uint32_t value) {
  if (!fits(offset)) return kOutOfRange;
  auto* reg = reinterpret_cast<volatile std::uint32_t*>(static_cast<char*>(base_) + offset);
  *reg = from_little_endian(value);
  return kIOReturnSuccess;
}

MapResult map_resource(const std::filesystem::path& device_dir, const char* name) {
  MapResult result;
  const UniqueFd dir(::open(device_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) {
    result.error = errno;
    return result;
  }
  // First a handle that opens nothing (a link is taken as itself), to see what the name
  // is; then the same file, and no other, for access.
  const UniqueFd place(::openat(dir.get(), name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct stat status {};
  if (place.get() < 0 || ::fstat(place.get(), &status) != 0) {
    result.error = errno;
    return result;
  }
  if (!S_ISREG(status.st_mode)) {
    result.attribute = false;
    return result;
  }
  UniqueFd file(::open(("/proc/self/fd/" + std::to_string(place.get())).c_str(), O_RDWR | O_CLOEXEC));
  if (file.get() < 0) {
    result.error = errno;
    return result;
  }
  if (status.st_size <= 0) {
    result.error = ENODEV;  // the function has no such BAR
    return result;
  }
  const auto length = static_cast<std::size_t>(status.st_size);
  void* base = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, file.get(), 0);
  if (base == MAP_FAILED) {
    result.error = errno;
    return result;
  }
  result.mapping = std::make_unique<BarMapping>(BarMapping::Key{}, file.release(), base, length);
  return result;
}

}  // namespace berth::linux_host
