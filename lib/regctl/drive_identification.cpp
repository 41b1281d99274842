#include "lib/regctl/drive_identification.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string>

#include "lib/discovery/diagnostics.h"
#include "lib/regctl/drive_record.h"
#include "lib/regctl/tool_runner.h"
#include "lib/regctl/tool_text.h"
#include "platform/services.h"

namespace berth {

std::uint32_t Old_Txxx_Nodes = kNoNodesYet;
std::uint32_t New_Node = 0;
std::uint32_t Old_Node = 0;
std::uint32_t gExaminedDisks = 0;

namespace {

constexpr std::uint32_t kLastDiskNode = 31;  // disk 0, the system disk, is never examined

// Media names of the maker's drive products, tested as case-sensitive substrings.
constexpr std::array<std::string_view, 9> kProductMediaNames{
    "Vantrel Zel Caddy Forte", "VantrelZel Caddy Forte", "VantrelZel Forte",
    "Vantrel Zel Forte",       "ASMT    2105",           "Vantrel Zel Caddy",
    "VantrelZel Caddy",        "Vantrel _ZelCaddy",      "Vantrel_ZelCaddy"};

constexpr const char* kQuickTool = "Mervo_ltr";
constexpr const char* kFullTool = "Mervo";

std::string disk_path(std::uint32_t unit) { return format("/dev/disk%u", unit); }

// Where the resources hold the drive tool `name`; nothing when they do not.
std::optional<std::string> tool_path(const char* name) {
  return services().resources ? services().resources->path_for_resource(name, "") : std::nullopt;
}

// True when both drive tools are there; otherwise one line naming what is missing.
bool drive_tools_present() {
  std::string missing;
  int count = 0;
  for (const char* tool : {kQuickTool, kFullTool})
    if (!tool_path(tool)) missing += format("%s\"%s\"", count++ == 0 ? "" : " and ", tool);
  if (count == 0) return true;
  err_printf("drive identification: the drive tool%s %s %s missing (looked in %s); no drive is identified\n",
             count == 1 ? "" : "s", missing.c_str(), count == 1 ? "is" : "are",
             services().resources->resource_directory().c_str());
  return false;
}

std::uint32_t examined_disks(std::string_view listing) {
  std::uint32_t disks = 0;
  for (std::uint32_t unit = 1; unit <= kLastDiskNode; ++unit)
    if (lists_disk(listing, unit)) disks |= 1u << unit;
  return disks;
}

// Disk Arbitration references taken for one question, given back in reverse order.
struct DiskReferences {
  DisksPort& disks;
  da_handle_t session = 0;
  da_handle_t disk = 0;
  da_handle_t description = 0;

  ~DiskReferences() {
    if (description) disks.description_release(description);
    if (disk) disks.disk_release(disk);
    if (session) disks.session_release(session);
  }
};

bool names_product(std::string_view media_name) {
  return std::any_of(kProductMediaNames.begin(), kProductMediaNames.end(),
                     [&](std::string_view pattern) { return media_name.find(pattern) != std::string_view::npos; });
}

// One pass over the listed disks; the records go to slots first, first+1, ...
std::uint32_t identify_drives(std::string_view listing, std::uint32_t first, bool count_nodes, bool refetch) {
  std::uint32_t written = 0;
  std::uint32_t slot = first;
  for (std::uint32_t unit = 1; unit <= kLastDiskNode; ++unit) {
    if (!lists_disk(listing, unit)) continue;
    if (count_nodes) ++New_Node;
    const std::string path = disk_path(unit);
    if (slot >= kDeviceSlotCount) {
      // The table is full: the drive is left out rather than written over a dock.
      if (GetDescription(unit)) err_printf("scan_disk_node: no free slot for %s\n", path.c_str());
      continue;
    }
    if (refetch) vtr_device_list[slot].valid = 0;
    if (GetDescription(unit) && Scan_disk_product_ltr(path, slot, unit)) {
      ++slot;
      ++written;
    }
  }
  return written;
}

}  // namespace

bool GetDescription(std::uint32_t unit) {
  if (unit == 0xFFFFFFFF || !services().disks) return false;
  DiskReferences refs{*services().disks};
  refs.session = refs.disks.session_create();
  if (!refs.session) return false;
  refs.disk = refs.disks.disk_create_from_bsd_name(refs.session, disk_path(unit));
  if (!refs.disk) return false;
  refs.description = refs.disks.disk_copy_description(refs.disk);
  if (!refs.description) return false;
  const auto media_name = refs.disks.description_value(refs.description, DiskDescriptionKey::media_name);
  return media_name && names_product(*media_name);
}

bool Scan_disk_product(std::string_view path, std::uint32_t slot, std::uint32_t unit) {
  const auto tool = tool_path(kFullTool);
  if (slot >= kDeviceSlotCount || !tool) return false;
  syslog_printf("Mervo _ SMART \n");
  const std::string argument(path);
  const ToolOutput report = run_tool(*tool, {&argument, 1});
  if (!report.finished) return holds_report_of(slot, unit);
  const DriveMarker marker = drive_marker(report.text);
  if (marker == DriveMarker::none) return false;
  write_drive_record(slot, unit, marker, report.text);
  return true;
}

bool Scan_disk_product_ltr(std::string_view path, std::uint32_t slot, std::uint32_t unit) {
  const auto tool = tool_path(kQuickTool);
  if (slot >= kDeviceSlotCount || !tool) return false;
  const std::string argument(path);
  const ToolOutput quick = run_tool(*tool, {&argument, 1});
  // A slot that already holds this disk's report still counts when the tool is slow.
  if (!quick.finished) return holds_report_of(slot, unit);
  syslog_printf("%s\n", quick.text.c_str());
  const DriveMarker marker = drive_marker(quick.text);
  if (marker == DriveMarker::none) return false;
  if (marker == DriveMarker::tm478) syslog_printf("tm478\n");
  sDevice& dev = vtr_device_list[slot].dev;
  dev.bus_num = unit;
  dev.dev_num = dev.fun_num = marker == DriveMarker::tm6721 ? 2 : 1;
  if (!holds_report_of(slot, unit)) Scan_disk_product(path, slot, unit);
  return true;
}

std::uint32_t scan_disk_node(std::uint32_t start) {
  if (!services().resources) return 0;
  const IdentificationDeadline deadline(gIdentificationTimeoutSeconds);
  const std::string list = "list";
  const ToolOutput listing = run_tool(services().resources->system_utility_directory() + "/diskutil", {&list, 1});
  gExaminedDisks = 0;
  if (!listing.finished) return 0;
  // Slots that held docks last time and may hold drives now must fetch full reports.
  if (Old_Txxx_Nodes != kNoNodesYet && Old_Txxx_Nodes > start)
    for (std::uint32_t slot = start; slot < std::min(Old_Txxx_Nodes, kDeviceSlotCount); ++slot)
      vtr_device_list[slot].valid = 0;
  Old_Txxx_Nodes = start;
  gExaminedDisks = examined_disks(listing.text);
  if (!drive_tools_present()) return 0;

  New_Node = 0;
  std::uint32_t written = identify_drives(listing.text, start, true, false);
  if (New_Node != Old_Node) {
    written = identify_drives(listing.text, start, false, true);
    Old_Node = New_Node;
  }
  return written;
}

}  // namespace berth
