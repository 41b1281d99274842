#include "platform/linux/block_devices.h"

#include <sys/sysmacros.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <tuple>

namespace berth::linux_host {
namespace {

namespace fs = std::filesystem;

std::string read_attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string text;
  std::getline(in, text, '\0');
  const auto first = text.find_first_not_of(" \t\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

dev_t device_number(const fs::path& dir) {
  const std::string text = read_attribute(dir / "dev");
  unsigned major_number = 0;
  unsigned minor_number = 0;
  if (std::sscanf(text.c_str(), "%u:%u", &major_number, &minor_number) != 2) return 0;
  return makedev(major_number, minor_number);
}

// An unbound loop device still has its node and sysfs directory, but no "loop" attributes.
bool is_disk(const fs::path& dir, std::string_view name) {
  return !name.starts_with("loop") || fs::exists(dir / "loop");
}

std::optional<BlockDevice> device_at(const fs::path& dir, std::string_view whole) {
  const std::string name = dir.filename().string();
  const auto unit = unit_of_kernel_name(name);
  if (!unit || (unit->slice != 0) != (name != whole)) return std::nullopt;
  return BlockDevice{name, std::string(whole), *unit, device_number(dir)};
}

}  // namespace

std::vector<BlockDevice> block_devices(const fs::path& sysfs_root) {
  std::vector<BlockDevice> found;
  std::error_code error;
  for (const fs::directory_entry& disk : fs::directory_iterator(sysfs_root / "block", error)) {
    const std::string whole = disk.path().filename().string();
    const auto device = device_at(disk.path(), whole);
    if (!device || !is_disk(disk.path(), whole)) continue;
    found.push_back(*device);
    for (const fs::directory_entry& child : fs::directory_iterator(disk.path(), error)) {
      if (!fs::exists(child.path() / "partition")) continue;
      if (const auto partition = device_at(child.path(), whole)) found.push_back(*partition);
    }
  }
  std::sort(found.begin(), found.end(), [](const BlockDevice& a, const BlockDevice& b) {
    return std::tie(a.unit.unit, a.unit.slice) < std::tie(b.unit.unit, b.unit.slice);
  });
  return found;
}

std::optional<BlockDevice> block_device(const fs::path& sysfs_root, BsdUnit unit) {
  const auto whole = kernel_name_of_unit({unit.unit, 0});
  const auto name = kernel_name_of_unit(unit);
  if (!whole || !name) return std::nullopt;
  const fs::path disk = sysfs_root / "block" / *whole;
  const fs::path dir = unit.slice == 0 ? disk : disk / *name;
  if (!fs::exists(dir / "dev") || !is_disk(disk, *whole)) return std::nullopt;
  if (unit.slice != 0 && !fs::exists(dir / "partition")) return std::nullopt;
  return device_at(dir, *whole);
}

std::optional<std::string> media_name(const fs::path& sysfs_root, std::string_view whole) {
  const fs::path device = sysfs_root / "block" / whole / "device";
  std::string name = read_attribute(device / "vendor");
  const std::string model = read_attribute(device / "model");
  if (!name.empty() && !model.empty()) name += ' ';
  name += model;
  if (name.empty()) return std::nullopt;
  return name;
}

}  // namespace berth::linux_host
