#include "platform/linux/bar_mapping.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <charconv>
#include <string>

#include "platform/linux/sysfs_files.h"

#include "platform/posix/unique_fd.h"

namespace berth::linux_host {
namespace {

constexpr kern_return_t kOutOfRange = 0xE00002C2;  // the system's bad-argument status

std::uint32_t from_little_endian(std::uint32_t value) {
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap32(value);
  return value;
}

// Only the kernel's resource files map from the BAR's page; any other regular file (a
// test's stand-in for one) holds the BAR's bytes from its first byte.
bool is_sysfs(int fd) {
  struct statfs fs {};
  return ::fstatfs(fd, &fs) == 0 && fs.f_type == SYSFS_MAGIC;
}

}  // namespace

std::size_t bar_page_offset(std::string_view resource_text, unsigned bar, std::size_t page_size) {
  for (unsigned line = 0; line < bar; ++line) {
    const auto end = resource_text.find('\n');
    if (end == std::string_view::npos) return 0;
    resource_text.remove_prefix(end + 1);
  }
  if (!resource_text.starts_with("0x")) return 0;
  std::uint64_t start = 0;
  const auto [end, error] = std::from_chars(resource_text.data() + 2, resource_text.data() + resource_text.size(), start, 16);
  if (error != std::errc{} || (end != resource_text.data() + resource_text.size() && *end != ' ')) return 0;
  return static_cast<std::size_t>(start % page_size);
}

BarMapping::~BarMapping() {
  ::munmap(mapped_, offset_ + length_);
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

MapResult map_resource(const std::filesystem::path& device_dir, unsigned bar) {
  const std::string name = "resource" + std::to_string(bar);
  MapResult result;
  const UniqueFd dir(::open(device_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) {
    result.error = errno;
    return result;
  }
  // First a handle that opens nothing (a link is taken as itself), to see what the name
  // is; then the same file, and no other, for access.
  const UniqueFd place(::openat(dir.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
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
  const auto page_size = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const auto resource = is_sysfs(file.get()) ? read_text(device_dir / "resource") : std::nullopt;
  const std::size_t offset = resource ? bar_page_offset(*resource, bar, page_size) : 0;
  void* mapped = ::mmap(nullptr, offset + length, PROT_READ | PROT_WRITE, MAP_SHARED, file.get(), 0);
  if (mapped == MAP_FAILED) {
    result.error = errno;
    return result;
  }
  result.mapping = std::make_unique<BarMapping>(BarMapping::Key{}, file.release(), mapped, offset, length);
  return result;
}

}  // namespace berth::linux_host
