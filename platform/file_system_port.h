#pragma once
// What the file system tells about a path: whether it can be reached, and the
// attributes of the file system that holds it.
#include <cstdint>
#include <optional>
#include <string_view>

namespace berth {

class FileSystemPort {
 public:
  virtual ~FileSystemPort() = default;
  virtual bool is_reachable(std::string_view path) = 0;
  // Free bytes of the file system at path; nothing when its attributes cannot be read.
  virtual std::optional<std::uint64_t> free_bytes(std::string_view path) = 0;
};

}  // namespace berth
