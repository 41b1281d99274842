#pragma once
// Bounded, careful reads of a sysfs tree. The tree may be a copy a user sent, or a
// fixture, so nothing here trusts it: a file is read only when it is a regular file
// and at most up to a cap, the last component of a path is never followed when it is
// a link, directories are listed only up to a cap and links are resolved as text,
// never by the file system, so a link loop cannot make a read hang or recurse.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace berth::linux_host {

namespace fs = std::filesystem;

inline constexpr std::size_t kMaxAttributeBytes = 4096;
inline constexpr std::size_t kMaxDirectoryEntries = 4096;

// The bytes of a regular file, at most max_bytes of them; nothing when the file is
// missing, a link, not a regular file (a FIFO, a device) or cannot be read.
std::optional<std::string> read_attribute(const fs::path& file, std::size_t max_bytes = kMaxAttributeBytes);
// The file's text without surrounding blanks and line ends.
std::optional<std::string> read_text(const fs::path& file);
// A number as sysfs prints it: decimal, or hexadecimal with "0x".
std::optional<std::uint64_t> read_number(const fs::path& file);
std::optional<std::uint64_t> parse_number(std::string_view text);

// The names in a directory in sorted order, at most kMaxDirectoryEntries of them;
// empty when it is not a directory (a link to one does not count).
std::vector<std::string> list_directory(const fs::path& dir);
// A directory itself, not a link to one.
bool is_real_directory(const fs::path& path);

// Where a link points, worked out as text: its target taken relative to the link's
// directory and normalised. Nothing when it is not a link or points outside `within`.
std::optional<fs::path> resolve_link(const fs::path& link, const fs::path& within);
// Whether `path` is `ancestor` or lies below it, comparing whole components.
bool is_within(const fs::path& path, const fs::path& ancestor);

// Text with every byte outside printable ASCII replaced by '?', so that what a
// device reports stays one plain line wherever it is shown or written.
std::string printable(std::string_view text);

}  // namespace berth::linux_host
