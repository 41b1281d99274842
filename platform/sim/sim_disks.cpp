#include "platform/sim/sim_disks.h"

namespace berth::sim {
namespace {

DiskModel model_from(const json& doc) {
  const json* disks = find(doc, "disks");
  return disks ? DiskModel::from_json(*disks, "/disks") : DiskModel{};
}

bool sessions_fail(const json& doc) {
  const json* section = find(doc, "disk_arbitration");
  if (!section) return false;
  require_object(*section, "/disk_arbitration");
  const json* session = find(*section, "session");
  if (!session) return false;
  const std::string text = require_string(*session, "/disk_arbitration/session");
  if (text != "ok" && text != "fail")
    throw MachineFileError("/disk_arbitration/session", "expected \"ok\" or \"fail\", found \"" + text + "\"");
  return text == "fail";
}

}  // namespace

SimDisks::SimDisks(const json& doc)
    : model_(model_from(doc)),
      disk_arbitration_(model_, sessions_fail(doc)),
      file_system_(model_),
      workspace_(model_) {}

}  // namespace berth::sim
