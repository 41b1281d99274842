// berthctl driver-scan: the registry scan, then the driver-based scan with drive
// identification; shows every record written (docks, then drive products).
#include <cstring>

#include "cli/commands.h"
#include "lib/discovery/discovery.h"
#include "lib/regctl/drive_identification.h"
#include "lib/regctl/driver_scan.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

using json = nlohmann::ordered_json;

std::string hex16(std::uint32_t value) { return format("0x%04X", value); }

template <std::size_t N>
std::string text_of(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
}

// A text field for a terminal: drives and firmware may hold any bytes.
template <std::size_t N>
std::string shown(const char (&field)[N]) {
  return printable(text_of(field));
}

json record_json(std::uint32_t slot) {
  const sDeviceSlot& entry = vtr_device_list[slot];
  const sDevice& dev = entry.dev;
  json sata = json::array();
  for (const sDiskInfo& disk : dev.sata_disk)
    sata.push_back({{"model", text_of(disk.model)},
                    {"serial", text_of(disk.serial)},
                    {"bsd_unit", disk.bsd_unit},
                    {"info_d", disk.info_d}});
  return {{"slot", slot},
          {"valid", entry.valid},
          {"dev_kind", dev.dev_kind},
          {"is_drive_product", dev.is_drive_product},
          {"bus_num", dev.bus_num},
          {"dev_num", dev.dev_num},
          {"fun_num", dev.fun_num},
          {"vid", hex16(dev.VID)},
          {"did", hex16(dev.DID)},
          {"sub_vid", hex16(dev.SUB_VID)},
          {"sub_did", hex16(dev.SUB_DID)},
          {"spi_flash_id", hex32(dev.spi_flash_id)},
          {"bios_ver", text_of(dev.bios_ver)},
          {"disk_cnt", dev.disk_cnt},
          {"is_guid_valid", dev.isGUIDValid},
          {"tb_guid_high", hex32(dev.TB_GUID_high)},
          {"tb_guid_low", hex32(dev.TB_GUID_low)},
          {"sata", sata}};
}

std::string dock_text(std::uint32_t slot, const sDevice& dev) {
  std::string text = format("slot %u: dock at %u:%u:%u, %s:%s, flash %s, firmware \"%s\", %u disk%s, GUID %s:%s\n",
                            slot, dev.bus_num, dev.dev_num, dev.fun_num, hex16(dev.VID).c_str(), hex16(dev.DID).c_str(),
                            hex32(dev.spi_flash_id).c_str(), shown(dev.bios_ver).c_str(), dev.disk_cnt,
                            dev.disk_cnt == 1 ? "" : "s", hex32(dev.TB_GUID_high).c_str(),
                            hex32(dev.TB_GUID_low).c_str());
  for (std::uint32_t port = 0; port < kPortsPerController; ++port) {
    const sDiskInfo& disk = dev.sata_disk[port];
    if (disk.bsd_unit == kNoDisk && disk.model[0] == '\0') continue;
    text += format("  eSATA port %u: %s \"%s\" serial \"%s\"\n", port + 1,
                   disk.bsd_unit == kNoDisk ? "-" : format("disk%u", disk.bsd_unit).c_str(),
                   shown(disk.model).c_str(), shown(disk.serial).c_str());
  }
  return text;
}

std::string drive_text(std::uint32_t slot, const sDevice& dev) {
  const sDiskInfo& disk = dev.sata_disk[0];
  return format("slot %u: %s on disk%u (kind %u), version \"%s\", serial \"%s\", %u C, identifier %s\n", slot,
                shown(disk.model).c_str(), disk.bsd_unit, dev.dev_kind, shown(dev.bios_ver).c_str(),
                shown(disk.serial).c_str(), disk.info_d, hex32(dev.TB_GUID_low).c_str());
}

// The disks drive identification looked at ("disk1", ...).
std::vector<std::string> examined_disks() {
  std::vector<std::string> disks;
  for (std::uint32_t unit = 0; unit < 32; ++unit)
    if (gExaminedDisks & (1u << unit)) disks.push_back(format("disk%u", unit));
  return disks;
}

void print_records(kern_return_t status, std::uint32_t count) {
  std::string text = format("driver scan status %s: %u record%s\n", hex32(status).c_str(), count, count == 1 ? "" : "s");
  std::string disks;
  for (const std::string& disk : examined_disks()) disks += (disks.empty() ? "" : ", ") + disk;
  text += "drive identification examined " + (disks.empty() ? std::string("no disk") : disks) + "\n";
  for (std::uint32_t slot = 0; slot < count; ++slot) {
    const sDeviceSlot& entry = vtr_device_list[slot];
    if (!entry.valid) text += format("slot %u: drive product on disk%u without a full report\n", slot, entry.dev.bus_num);
    else if (entry.dev.is_drive_product) text += drive_text(slot, entry.dev);
    else text += dock_text(slot, entry.dev);
  }
  write_out(text);
}

}  // namespace

int cmd_driver_scan(CliContext&, std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  expect_no_more(args);
  std::uint32_t docks = 0;
  const kern_return_t registry_status = scan_for_devices(&docks);
  std::uint32_t count = 0;
  const kern_return_t status = scan_by_kVantrelRegCtl(&count);
  const int exit_status = registry_status == kIOReturnSuccess && status == kIOReturnSuccess ? kExitOk : kExitFailed;
  if (!as_json) {
    print_records(status, count);
    return exit_status;
  }
  json records = json::array();
  for (std::uint32_t slot = 0; slot < count; ++slot) records.push_back(record_json(slot));
  print_json({{"status", hex32(status)}, {"count", count}, {"examined", examined_disks()}, {"records", records}});
  return exit_status;
}

}  // namespace berth::cli
