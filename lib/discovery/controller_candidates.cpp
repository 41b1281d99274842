// Walk modes 3 and 5 record every IOPCIDevice entry once more as a possible SATA and
// a possible USB controller of a dock, with the subsystem identity as well.
#include "lib/discovery/diagnostics.h"
#include "lib/discovery/discovery.h"
#include "lib/discovery/entry_visit.h"
#include "lib/discovery/identity_tests.h"
#include "lib/discovery/property_reading.h"
#include "platform/services.h"

namespace berth {
namespace {

// Fills the identity fields shared by both candidate records. Returns false for a
// "pcidebug" given as data, which each mode reports its own way.
template <typename Candidate>
bool read_identity(Candidate& record, std::string_view name, const PropertyValue& value) {
  if (value.kind == ValueKind::text) {
    const char* text = value.c_string_ptr();
    if (name == "pcidebug" && text) copy_text(record.pcidebug, text);
    return true;
  }
  if (value.kind != ValueKind::data) return true;
  if (name == "vendor-id") record.VID = data_le32(value);
  else if (name == "device-id") record.DID = data_le32(value);
  else if (name == "subsystem-vendor-id") record.SUB_VID = data_le32(value);
  else if (name == "subsystem-id") record.SUB_DID = data_le32(value);
  else if (name == "pcidebug") return false;
  return true;
}

void showitem_M9182(const PropertyValue& key, const PropertyValue& value, const ioreg_context& context) {
  const auto name = key_text(key);
  if (name && !read_identity(gCandidateM91xxDeviceList[context.record_index], *name, value))
    println("showitem_M9182 Err2");
}

void showitem_FL1100(const PropertyValue& key, const PropertyValue& value, const ioreg_context& context) {
  if (const auto name = key_text(key)) read_identity(gCandidateFL1100DeviceList[context.record_index], *name, value);
}

const RecordingTable kSATATable{
    &gCandidateM91xxDevCnt, "gCandidateM91xxDevCnt Overflow !?",
    [](std::uint32_t index, io_object_t entry) { gCandidateM91xxDeviceList[index].service = entry; }};
const RecordingTable kUSBTable{
    &gCandidateFL1100DevCnt, "gCandidateFL1100DevCnt Overflow !?",
    [](std::uint32_t index, io_object_t entry) { gCandidateFL1100DeviceList[index].service = entry; }};

}  // namespace

void show_M9182(io_object_t entry, const ioreg_options& options) {
  static const EntryVisit visit{"show_M9182: error: Mark2.\n", &kSATATable, nullptr, showitem_M9182};
  visit_entry(entry, options, visit);
}

void show_FL1100(io_object_t entry, const ioreg_options& options) {
  static const EntryVisit visit{nullptr, &kUSBTable, nullptr, showitem_FL1100};
  visit_entry(entry, options, visit);
}

std::uint32_t dump_IOPCIDevice_list() {
  syslog_printf("gCandidateM91xxDevCnt = %x", gCandidateM91xxDevCnt);
  for (std::uint32_t i = 0; i < gCandidateM91xxDevCnt; ++i) {
    const sCandidateM91xxDev& c = gCandidateM91xxDeviceList[i];
    if (!is_sata_guid_family(c.VID, c.DID)) continue;
    syslog_printf("gCandidateM91xxDevCnt = %x_%x\n", gCandidateM91xxDevCnt, i);
    syslog_printf("pcidebug=%s\n", c.pcidebug);
    syslog_printf("VID=%x\n", c.VID);
    syslog_printf("DID=%x\n", c.DID);
    syslog_printf("SUB_VID=%x\n", c.SUB_VID);
    syslog_printf("SUB_DID=%x\n", c.SUB_DID);
    syslog_printf("Disk count=%x\n", c.disk_cnt);
    for (int p = 0; p < 4; ++p) {
      syslog_printf("Disk#%d:\n", p);
      syslog_printf("model=%s\n", c.model[p]);
      syslog_printf("SN=%s\n", c.SN[p]);
    }
    syslog_printf("isGUIDValid=%x\n", c.isGUIDValid);
    syslog_printf("TB_GUID_low=%x\n", c.TB_GUID_low);
    syslog_printf("TB_GUID_high=%x\n", c.TB_GUID_high);
    syslog_printf("service_thunderbolt=%x\n", c.service_thunderbolt);
  }
  return gCandidateM91xxDevCnt;
}

}  // namespace berth
