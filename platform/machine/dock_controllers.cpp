#include "platform/machine/dock_controllers.h"

#include <cstdio>
#include <system_error>

#include "lib/discovery/device_tables.h"
#include "lib/discovery/discovery.h"
#include "platform/services.h"

namespace berth::machine {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kBerthlineGuidPrefix = 0x003D;
constexpr std::uint32_t kTypeWithEsata = 10;

// A SATA controller of a dock with eSATA ports whose GUID opened a dock record.
bool is_dock_sata_controller(const sCandidateM91xxDev& c) {
  if (c.VID != 0x1B21 || c.DID != 0x0612 || c.SUB_VID != 0x1AB6 || c.SUB_DID != 0x1060 || c.isGUIDValid == 0) {
    return false;
  }
  if ((c.TB_GUID_high >> 16) != kBerthlineGuidPrefix || (c.TB_GUID_high & 0xFFFF) != kTypeWithEsata) return false;
  for (const sDeviceSlot& slot : vtr_device_list) {
    if (slot.valid && slot.dev.TB_GUID_high == c.TB_GUID_high && slot.dev.TB_GUID_low == c.TB_GUID_low) return true;
  }
  return false;
}

// The sysfs address whose bus, device and function are those of "bus:device:function".
std::string sysfs_address(const char* pcidebug, const fs::path& sysfs_root) {
  unsigned bus = 0, device = 0, function = 0;
  if (std::sscanf(pcidebug, "%u:%u:%u", &bus, &device, &function) != 3 || bus > 255 || device > 31 || function > 7) {
    return {};
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, ":%02x:%02x.%x", bus, device, function);
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(sysfs_root / "bus/pci/devices", error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == 12 && name.ends_with(suffix)) return name;
  }
  return {};
}

}  // namespace

std::vector<std::string> dock_sata_functions(RegistryPort& registry, const fs::path& sysfs_root) {
  Services quiet;
  quiet.registry = &registry;
  ScopedServices installed(quiet);
  std::uint32_t docks = 0;
  scan_for_devices(&docks);
  std::vector<std::string> functions;
  for (std::uint32_t i = 0; i < gCandidateM91xxDevCnt && i < kPCIDevListCapacity; ++i) {
    if (!is_dock_sata_controller(gCandidateM91xxDeviceList[i])) continue;
    if (std::string address = sysfs_address(gCandidateM91xxDeviceList[i].pcidebug, sysfs_root); !address.empty()) {
      functions.push_back(std::move(address));
    }
  }
  return functions;
}

}  // namespace berth::machine
