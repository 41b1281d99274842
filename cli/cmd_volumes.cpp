// berthctl volumes: the disks the system knows, their volumes with mount paths and free
// space, and the dock port that holds each disk, so a user sees what an eject would
// touch before choosing it.
#include <charconv>
#include <map>

#include "app/model/disk_arbitration.h"
#include "cli/commands.h"
#include "lib/discovery/discovery.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

using json = nlohmann::ordered_json;

struct DockPort {
  std::uint32_t dock = 0;
  const char* side = "";
  std::uint32_t port = 0;  // 1-based, as the menu names it
};

// The ports of the docks the menu shows, by the BSD unit of the disk on each.
std::map<std::uint32_t, DockPort> dock_ports(std::uint32_t dock_count) {
  std::map<std::uint32_t, DockPort> ports;
  for (std::uint32_t slot = 0; slot < dock_count; ++slot) {
    const sDevice& dev = vtr_device_list[slot].dev;
    const std::uint32_t type = dev.TB_GUID_high & 0xFFFF;
    const std::uint32_t usb_ports = type == 6 || type == 10 ? 3 : 0;
    const std::uint32_t sata_ports = type == 10 ? 2 : 0;
    for (std::uint32_t p = 0; p < usb_ports; ++p)
      if (dev.usb_disk[p].bsd_unit != kNoDisk) ports.emplace(dev.usb_disk[p].bsd_unit, DockPort{slot, "usb", p + 1});
    for (std::uint32_t p = 0; p < sata_ports; ++p)
      if (dev.sata_disk[p].bsd_unit != kNoDisk)
        ports.emplace(dev.sata_disk[p].bsd_unit, DockPort{slot, "esata", p + 1});
  }
  return ports;
}

constexpr std::size_t kDiskPrefix = 4;  // "disk"

// "disk4s2" -> "disk4"; the names come from the disks port, always "diskN" or "diskNsK".
std::string whole_disk_of(const std::string& bsd) { return bsd.substr(0, bsd.find('s', kDiskPrefix)); }

std::optional<std::uint32_t> unit_of(const std::string& whole_bsd) {
  std::uint32_t unit = 0;
  if (whole_bsd.size() <= kDiskPrefix) return std::nullopt;
  const char* end = whole_bsd.data() + whole_bsd.size();
  const auto [stop, ec] = std::from_chars(whole_bsd.data() + kDiskPrefix, end, unit);
  if (ec != std::errc() || stop != end) return std::nullopt;
  return unit;
}

json optional_json(const std::optional<std::string>& text) { return text ? json(*text) : json(nullptr); }

json volume_json(const std::string& bsd, const app::DADiskDescription& description) {
  const auto path = description.volume_path();
  const auto free = path ? app::file_system_free_size(*path) : std::nullopt;
  return {{"bsd", bsd},
          {"device", optional_json(description.device_node())},
          {"name", optional_json(description.volume_name())},
          {"path", optional_json(path)},
          {"free_bytes", free ? json(*free) : json(nullptr)}};
}

json disk_json(const app::DASession& session, const std::string& bsd, const std::map<std::uint32_t, DockPort>& ports) {
  const app::DADiskDescription description = app::DADisk::create_from_bsd_name(session, bsd).copy_description();
  json disk{{"bsd", bsd},
            {"device", optional_json(description.device_node())},
            {"media_name", optional_json(description.media_name())}};
  const auto unit = unit_of(bsd);
  if (const auto port = unit ? ports.find(*unit) : ports.end(); port != ports.end())
    disk.update({{"dock", port->second.dock}, {"side", port->second.side}, {"port", port->second.port}});
  disk["volumes"] = json::array();
  return disk;
}

// One entry per whole disk, also one the system lists only through its slices; the
// slices, and the whole disk itself when it carries a file system, are its volumes when
// they have a name or a mount path.
json disks_json(const std::map<std::uint32_t, DockPort>& ports) {
  json disks = json::array();
  const app::DASession session = app::DASession::create();
  for (const std::string& bsd : services().disks->bsd_names()) {
    const std::string whole = whole_disk_of(bsd);
    if (disks.empty() || disks.back()["bsd"] != whole) disks.push_back(disk_json(session, whole, ports));
    const app::DADiskDescription description = app::DADisk::create_from_bsd_name(session, bsd).copy_description();
    if (description && (description.volume_name() || description.volume_path()))
      disks.back()["volumes"].push_back(volume_json(bsd, description));
  }
  return disks;
}

// A text as it stands, quoted when it may hold blanks; "-" when absent.
std::string text_of(const json& value, bool quoted = false) {
  if (value.is_null()) return "-";
  if (!value.is_string()) return value.dump();
  return quoted ? "\"" + value.get<std::string>() + "\"" : value.get<std::string>();
}

void print_table(const json& disks) {
  std::string text;
  for (const json& disk : disks) {
    text += text_of(disk["bsd"]) + "  " + text_of(disk["device"]) + "  " + text_of(disk["media_name"], true);
    if (disk.contains("dock"))
      text += format("  dock %u %s port %u", disk["dock"].get<unsigned>(), disk["side"].get<std::string>().c_str(),
                     disk["port"].get<unsigned>());
    text += "\n";
    for (const json& volume : disk["volumes"])
      text += "  " + text_of(volume["bsd"]) + "  " + text_of(volume["device"]) + "  " + text_of(volume["name"], true) +
              "  " + text_of(volume["path"], true) +
              (volume["free_bytes"].is_null() ? "" : "  " + text_of(volume["free_bytes"]) + " bytes free") + "\n";
  }
  if (disks.empty()) text = "no disks\n";
  write_out(text);
}

}  // namespace

int cmd_volumes(CliContext&, std::vector<std::string_view> args) {
  const bool as_json = take_flag(args, "--json");
  expect_no_more(args);
  if (!services().disks) {
    write_err("berthctl: this machine has no disks service\n");
    return kExitFailed;
  }
  std::uint32_t count = 0;
  scan_for_devices(&count);
  const json disks = disks_json(dock_ports(count));
  if (as_json) print_json({{"disks", disks}});
  else print_table(disks);
  return kExitOk;
}

}  // namespace berth::cli
