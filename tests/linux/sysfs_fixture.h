#pragma once
// A sysfs tree in a temporary directory: PCI functions with `config`, a regular file as
// `resource5` and the devices-directory link, the lockdown file, block devices.
#include <filesystem>
#include <string>
#include <vector>

namespace berth::testing {

class SysfsTree {
 public:
  SysfsTree();
  ~SysfsTree();
  SysfsTree(const SysfsTree&) = delete;
  SysfsTree& operator=(const SysfsTree&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // A function with the dock controller's identity and a BAR5 of `bar_bytes` bytes.
  std::filesystem::path add_function(const std::string& address, std::size_t bar_bytes = 0x800);
  void write(const std::filesystem::path& relative, const std::string& bytes) const;
  std::string read(const std::filesystem::path& relative) const;
  // A whole disk under block/ with its size in 512-byte sectors.
  void add_block_device(const std::string& name, std::uint64_t sectors) const;

 private:
  std::filesystem::path root_;
};

}  // namespace berth::testing
