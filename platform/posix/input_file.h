#pragma once
// Reading a file the user names (a machine file, a registry dump, a flash image): it
// is opened first, then checked with fstat to be a regular file no larger than the
// caller allows, and only then read. So a directory, a FIFO, a device such as
// /dev/zero or a huge sparse file is refused at once instead of read without end.
#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace berth {

// The reason a file was not read, as a phrase that follows its name
// ("is a directory, not a file", "has 9000000 bytes; at most 524288 are read").
class InputFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The whole contents of the regular file at path, when it has at most max_bytes.
// Throws InputFileError.
std::string read_input_file(const std::filesystem::path& path, std::size_t max_bytes);

}  // namespace berth
