#pragma once
// Disks in a sysfs tree, found below a port's device directory, as the registry
// entries that carry their BSD unit.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/registry_model.h"

namespace berth::linux_host {

struct PortDisk {
  std::string name;                // "sdb", "sr0"
  std::filesystem::path dir;       // .../block/sdb
  std::filesystem::path scsi_dir;  // the SCSI device that holds it: model, vpd_pg80
};

// The whole-disk block devices below dir: every "block/<name>" reached through real
// directories (never links) at most max_depth levels down, in sorted walk order.
std::vector<PortDisk> find_block_devices(const std::filesystem::path& dir, std::size_t max_depth);

// A disk as the registry shows it: "Model", "Serial Number" (when the device reports
// them), "Type" "DVD-ROM" for an optical drive (before its unit, so the scan files
// it under the drive's port), "BSD Unit" from the unit table, and a child per
// partition carrying the same unit. Nothing, and a log line, for a name the unit
// table does not cover.
std::optional<sim::RegistryEntry> disk_entry(const PortDisk& disk);

}  // namespace berth::linux_host
