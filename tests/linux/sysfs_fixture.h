#pragma once
// A sysfs tree in a temporary directory: PCI functions with `config`, a regular file as
// `resource5` and the devices-directory link, and whole disks under block/.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace berth::testing {

class DriverSysfsTree {
 public:
  DriverSysfsTree() {
    std::string dir = (std::filesystem::temp_directory_path() / "berth-sysfs-XXXXXX").string();
    root_ = ::mkdtemp(dir.data());
  }
  ~DriverSysfsTree() { std::filesystem::remove_all(root_); }
  DriverSysfsTree(const DriverSysfsTree&) = delete;
  DriverSysfsTree& operator=(const DriverSysfsTree&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // A function with identity 1B21:0612, subsystem 1AB6:1060 and a zeroed BAR5; its directory.
  std::filesystem::path add_function(const std::string& address, std::size_t bar_bytes) const {
    const auto dir = root_ / "devices/pci0000:00" / address;
    write(dir / "config", std::string("\x21\x1B\x12\x06", 4) + std::string(40, '\0') + "\xB6\x1A\x60\x10" +
                              std::string(16, '\0'));
    write(dir / "resource5", std::string(bar_bytes, '\0'));
    std::filesystem::create_directories(root_ / "bus/pci/devices");
    std::filesystem::create_directory_symlink("../../../devices/pci0000:00/" + address, root_ / "bus/pci/devices" / address);
    return dir;
  }
  void write(const std::filesystem::path& path, const std::string& bytes) const {
    std::filesystem::create_directories((root_ / path).parent_path());
    std::ofstream(root_ / path, std::ios::binary) << bytes;
  }
  std::string read(const std::filesystem::path& path) const {
    std::ifstream in(root_ / path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // A whole disk with its size in 512-byte sectors.
  void add_block_device(const std::string& name, std::uint64_t sectors) const {
    write(std::filesystem::path("block") / name / "size", std::to_string(sectors) + "\n");
  }

 private:
  std::filesystem::path root_;
};

}  // namespace berth::testing
