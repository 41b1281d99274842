#pragma once
// A PCI function's BAR mapped into this process through its sysfs resource file, and
// 32-bit register access on it. The mapping and its descriptor live exactly as long as
// the object.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

#include "platform/io_types.h"

namespace berth::linux_host {

struct MapResult;
// Opens the BAR's `resourceN` in the function's device directory (the directory's path is resolved;
// the name itself is never followed as a link) read-write and maps it shared. Only a
// regular file is opened for access and mapped: sysfs attributes are, and a link to
// /dev/mem or a device node put in its place is refused before anything opens it.
MapResult map_resource(const std::filesystem::path& device_dir, unsigned bar);

// Where a BAR starts in the mapping of its sysfs resource file. The kernel maps a
// resource file from the page that holds the BAR, so a BAR that does not start on a page
// boundary (a small BAR sharing its page) starts this many bytes in. From the function's
// `resource` text, one "start end flags" line per BAR; 0 when that line cannot be read.
std::size_t bar_page_offset(std::string_view resource_text, unsigned bar, std::size_t page_size);

class BarMapping {
  struct Key {
    explicit Key() = default;
  };

 public:
  // Takes over a descriptor and its mapping; only map_resource makes one.
  // The BAR's `length` bytes start `offset` bytes into the mapping at `mapped`.
  BarMapping(Key, int fd, void* mapped, std::size_t offset, std::size_t length)
      : fd_(fd), mapped_(mapped), base_(static_cast<char*>(mapped) + offset), offset_(offset), length_(length) {}
  ~BarMapping();
  BarMapping(const BarMapping&) = delete;
  BarMapping& operator=(const BarMapping&) = delete;

  std::size_t length() const { return length_; }
  // The 32-bit register at the byte offset, little-endian as PCI registers are. An
  // offset that is not 4-aligned or whose 4 bytes do not lie inside the mapping is
  // refused with a non-zero status and nothing is touched.
  kern_return_t read32(std::uint64_t offset, std::uint32_t& value) const;
  kern_return_t write32(std::uint64_t offset, std::uint32_t value);

 private:
  friend MapResult map_resource(const std::filesystem::path& device_dir, unsigned bar);
  bool fits(std::uint64_t offset) const;

  int fd_;
  void* mapped_;
  void* base_;
  std::size_t offset_;
  std::size_t length_;
};

struct MapResult {
  std::unique_ptr<BarMapping> mapping;  // null when refused
  int error = 0;                        // errno of the open or the mapping that failed
  bool attribute = true;                // false: the name is a link or not a regular file
};

}  // namespace berth::linux_host
