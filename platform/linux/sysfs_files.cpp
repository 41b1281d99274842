#include "platform/linux/sysfs_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "platform/posix/unique_fd.h"

namespace berth::linux_host {
namespace {

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

std::optional<std::string> read_attribute(const fs::path& file, std::size_t max_bytes) {
  // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
  const UniqueFd fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  std::string bytes(max_bytes, '\0');
  std::size_t filled = 0;
  while (filled < max_bytes) {
    const ssize_t got = ::read(fd.get(), bytes.data() + filled, max_bytes - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return bytes;
}

std::optional<std::string> read_text(const fs::path& file) {
  auto bytes = read_attribute(file);
  if (!bytes) return std::nullopt;
  return std::string(trimmed(*bytes));
}

std::optional<std::uint64_t> parse_number(std::string_view text) {
  text = trimmed(text);
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> read_number(const fs::path& file) {
  const auto text = read_attribute(file, 64);
  if (!text) return std::nullopt;
  return parse_number(*text);
}

std::vector<std::string> list_directory(const fs::path& dir) {
  std::vector<std::string> names;
  if (!is_real_directory(dir)) return names;
  std::error_code error;
  fs::directory_iterator it(dir, error);
  for (; !error && it != fs::directory_iterator() && names.size() < kMaxDirectoryEntries; it.increment(error))
    names.push_back(it->path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool is_real_directory(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

std::optional<fs::path> resolve_link(const fs::path& link, const fs::path& within) {
  std::error_code error;
  const fs::path target = fs::read_symlink(link, error);
  if (error || target.empty()) return std::nullopt;
  const fs::path resolved = (target.is_absolute() ? target : link.parent_path() / target).lexically_normal();
  if (!is_within(resolved, within)) return std::nullopt;
  return resolved;
}

bool is_within(const fs::path& path, const fs::path& ancestor) {
  fs::path base = ancestor.lexically_normal();
  if (!base.has_filename()) base = base.parent_path();  // "a/b/" names the same directory as "a/b"
  auto p = path.begin();
  for (const auto& part : base) {
    if (p == path.end() || *p != part) return false;
    ++p;
  }
  return true;
}

std::string printable(std::string_view text) {
  std::string result(text);
  for (char& c : result)
    if (c < 0x20 || c > 0x7E) c = '?';
  return result;
}

}  // namespace berth::linux_host
