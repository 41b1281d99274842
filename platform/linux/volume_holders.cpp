#include "platform/linux/volume_holders.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <charconv>
#include <fstream>

namespace berth::linux_host {
namespace {

namespace fs = std::filesystem;

bool on_device(const fs::path& path, dev_t device) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && status.st_dev == device;
}

bool has_open_file_on(const fs::path& process, dev_t device) {
  std::error_code error;
  for (const fs::directory_entry& fd : fs::directory_iterator(process / "fd", error))
    if (on_device(fd.path(), device)) return true;
  return false;
}

bool maps_file_on(const fs::path& process, dev_t device) {
  std::ifstream maps(process / "maps");
  std::string line;
  while (std::getline(maps, line))
    if (map_line_device(line) == device) return true;
  return false;
}

bool holds(const fs::path& process, dev_t device) {
  return on_device(process / "cwd", device) || on_device(process / "root", device) ||
         has_open_file_on(process, device) || maps_file_on(process, device);
}

std::string command_name(const fs::path& process) {
  std::ifstream in(process / "comm");
  std::string name;
  std::getline(in, name);
  return name;
}

// Field `index` (from 0) of a line of blank-separated fields.
std::string_view field(std::string_view line, int index) {
  constexpr auto npos = std::string_view::npos;
  std::size_t start = line.find_first_not_of(' ');
  for (int i = 0; i < index && start != npos; ++i) {
    const std::size_t end = line.find(' ', start);
    start = end == npos ? npos : line.find_first_not_of(' ', end);
  }
  if (start == npos) return {};
  return line.substr(start, line.find(' ', start) - start);
}

}  // namespace

dev_t map_line_device(std::string_view line) {
  // address perms offset dev inode path
  const std::string_view dev = field(line, 3);
  const auto colon = dev.find(':');
  if (colon == std::string_view::npos) return 0;
  unsigned major_number = 0;
  unsigned minor_number = 0;
  const auto major_end = std::from_chars(dev.data(), dev.data() + colon, major_number, 16);
  const auto minor_end = std::from_chars(dev.data() + colon + 1, dev.data() + dev.size(), minor_number, 16);
  if (major_end.ec != std::errc() || minor_end.ec != std::errc() || minor_end.ptr != dev.data() + dev.size()) return 0;
  return makedev(major_number, minor_number);
}

std::vector<Holder> holders_of(dev_t device, const fs::path& proc_root) {
  std::vector<Holder> holders;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(proc_root, error)) {
    const std::string name = entry.path().filename().string();
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || end != name.data() + name.size() || !holds(entry.path(), device)) continue;
    holders.push_back({command_name(entry.path()), pid});
  }
  std::sort(holders.begin(), holders.end(), [](const Holder& a, const Holder& b) { return a.pid < b.pid; });
  return holders;
}

std::string describe_holders(std::span<const Holder> holders) {
  std::string text;
  for (const Holder& holder : holders) {
    if (!text.empty()) text += ", ";
    text += holder.name + " (pid " + std::to_string(holder.pid) + ")";
  }
  return text;
}

}  // namespace berth::linux_host
