#include "tests/linux/sysfs_fixture.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>

namespace berth::testing {

namespace fs = std::filesystem;

SysfsTree::SysfsTree() {
  std::string dir = (fs::temp_directory_path() / "berth-sysfs-XXXXXX").string();
  root_ = ::mkdtemp(dir.data());
  fs::create_directories(root_ / "bus/pci/devices");
}

SysfsTree::~SysfsTree() {
  std::error_code ignored;
  fs::remove_all(root_, ignored);
}

fs::path SysfsTree::add_function(const std::string& address, std::size_t bar_bytes) {
  const fs::path dir = root_ / "devices/pci0000:00" / address;
  fs::create_directories(dir);
  // Vendor 0x1B21, device 0x0612, subsystem 0x1AB6:0x1060, little-endian.
  std::string config(64, '\0');
  const unsigned char identity[][3] = {{0x00, 0x21, 0x1B}, {0x02, 0x12, 0x06}, {0x2C, 0xB6, 0x1A}, {0x2E, 0x60, 0x10}};
  for (const auto& field : identity) {
    config[field[0]] = static_cast<char>(field[1]);
    config[field[0] + 1] = static_cast<char>(field[2]);
  }
  write(dir / "config", config);
  write(dir / "resource5", std::string(bar_bytes, '\0'));
  fs::create_directory_symlink("../../../devices/pci0000:00/" + address, root_ / "bus/pci/devices" / address);
  return dir;
}

void SysfsTree::write(const fs::path& relative, const std::string& bytes) const {
  fs::create_directories((root_ / relative).parent_path());
  std::ofstream(root_ / relative, std::ios::binary) << bytes;
}

std::string SysfsTree::read(const fs::path& relative) const {
  std::ifstream in(root_ / relative, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void SysfsTree::add_block_device(const std::string& name, std::uint64_t sectors) const {
  write(fs::path("block") / name / "size", std::to_string(sectors) + "\n");
}

}  // namespace berth::testing
