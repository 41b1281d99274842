#include "platform/linux/sysfs_block.h"

#include "platform/linux/registry_entry.h"
#include "platform/linux/sysfs_files.h"
#include "platform/linux/unit_table.h"
#include "platform/services.h"

namespace berth::linux_host {
namespace {

constexpr std::size_t kMaxDirectoriesPerSearch = 4096;
constexpr std::size_t kMaxDisksPerSearch = 32;
constexpr std::size_t kMaxPartitions = 128;

struct Search {
  std::size_t visited = 0;
  std::vector<PortDisk> found;
};

void search(const fs::path& dir, std::size_t depth_left, Search& state) {
  for (const auto& name : list_directory(dir)) {
    if (state.visited >= kMaxDirectoriesPerSearch || state.found.size() >= kMaxDisksPerSearch) return;
    const fs::path child = dir / name;
    if (!is_real_directory(child)) continue;
    ++state.visited;
    if (name == "block") {
      for (const auto& disk : list_directory(child))
        if (is_real_directory(child / disk) && state.found.size() < kMaxDisksPerSearch)
          state.found.push_back({disk, child / disk, dir});
    } else if (depth_left > 1) {
      search(child, depth_left - 1, state);
    }
  }
}

PropertyValue text(const std::string& value) { return PropertyValue::make_text(printable(value)); }

Property property(const char* key, PropertyValue value) { return {PropertyValue::make_text(key), std::move(value)}; }

std::string trim(std::string value) {
  const auto first = value.find_first_not_of(" \t\n");
  if (first == std::string::npos) return {};
  return value.substr(first, value.find_last_not_of(" \t\n") - first + 1);
}

// The SCSI vendor and product; libata reports every ATA disk as vendor "ATA".
std::optional<std::string> model_of(const PortDisk& disk) {
  const auto model = read_text(disk.scsi_dir / "model");
  if (!model || model->empty()) return std::nullopt;
  const auto vendor = read_text(disk.scsi_dir / "vendor");
  if (!vendor || vendor->empty() || *vendor == "ATA") return model;
  return *vendor + " " + *model;
}

// The unit serial number page: code 0x80, a 16-bit length, then the number.
std::optional<std::string> serial_of(const PortDisk& disk) {
  const auto page = read_attribute(disk.scsi_dir / "vpd_pg80", 260);
  if (!page || page->size() < 4 || static_cast<std::uint8_t>((*page)[1]) != 0x80) return std::nullopt;
  const std::size_t length = static_cast<std::uint8_t>((*page)[2]) << 8 | static_cast<std::uint8_t>((*page)[3]);
  std::string serial = trim(page->substr(4, length));
  while (!serial.empty() && serial.back() == '\0') serial.pop_back();
  if (serial.empty()) return std::nullopt;
  return serial;
}

std::vector<sim::RegistryEntry> partitions_of(const PortDisk& disk, const BsdUnit& whole) {
  std::vector<sim::RegistryEntry> partitions;
  for (const auto& name : list_directory(disk.dir)) {
    if (partitions.size() >= kMaxPartitions) break;
    const auto unit = unit_of_kernel_name(name);
    if (!unit || unit->unit != whole.unit || unit->slice == 0 || !read_number(disk.dir / name / "partition")) continue;
    partitions.push_back(make_entry(name, "BlockPartition", {number_property("BSD Unit", unit->unit)}));
  }
  return partitions;
}

}  // namespace

std::vector<PortDisk> find_block_devices(const fs::path& dir, std::size_t max_depth) {
  Search state;
  search(dir, max_depth, state);
  return std::move(state.found);
}

std::optional<sim::RegistryEntry> disk_entry(const PortDisk& disk) {
  const auto unit = unit_of_kernel_name(disk.name);
  if (!unit || unit->slice != 0) {
    syslog_printf("sysfs: block device %s has no BSD unit in the unit table; left out", printable(disk.name).c_str());
    return std::nullopt;
  }
  // A card reader's empty slot is a disk of no size; a registry shows a unit only for a
  // medium, and an empty slot filed on the port would push the card after it to the next.
  if (!disk.name.starts_with("sr") && read_number(disk.dir / "size") == 0) {
    syslog_printf("sysfs: %s holds no medium; left out", disk.name.c_str());
    return std::nullopt;
  }
  sim::RegistryEntry entry = make_entry(disk.name, "BlockDevice");
  if (const auto model = model_of(disk)) entry.props.push_back(property("Model", text(*model)));
  if (const auto serial = serial_of(disk)) entry.props.push_back(property("Serial Number", text(*serial)));
  if (disk.name.starts_with("sr")) entry.props.push_back(property("Type", text("DVD-ROM")));
  entry.props.push_back(number_property("BSD Unit", unit->unit));
  entry.children = partitions_of(disk, *unit);
  return entry;
}

}  // namespace berth::linux_host
