// The eject worker: from the chosen item's tag to the disks of one dock, and the
// unmount and eject of each disk's mounted volumes through the workspace.
#include "app/app_delegate.h"
#include "app/app_texts.h"
#include "app/eject_target.h"
#include "app/model/disk_arbitration.h"
#include "app/volume_rules.h"

namespace berth::app {

void AppDelegate::thread_ejectVolumes(MenuItem* item) {
  if (!item) return;
  const auto tag = static_cast<std::uint32_t>(item->tag());
  const auto blIdx = static_cast<std::uint8_t>(tag >> 16);
  const auto infType = static_cast<std::uint8_t>(tag >> 8);
  const auto portIdx = static_cast<std::uint8_t>(tag);
  // Menu tags always name a dock record; anything else names nothing to eject.
  if (blIdx >= kDeviceSlotCount) {
    fn_complete_eject(false, true);
    return;
  }
  const sDevice& dev = vtr_device_list[blIdx].dev;
  if (portIdx == kGroupPortIdx) eject_group(dev, infType);
  else eject_one_port(dev, infType, portIdx);
}

// A disk's unit of 255 means no disk; a larger one cannot be addressed, and is passed
// over like an empty port rather than cut to a byte that names some other disk.
bool AppDelegate::eject_port(const sDiskInfo& disk) {
  return disk.bsd_unit >= kNoDisk || fn_unmount_diskX(disk.bsd_unit);
}

void AppDelegate::eject_one_port(const sDevice& dev, std::uint8_t infType, std::uint8_t portIdx) {
  if ((infType != kInfUSBPort && infType != kInfESATAPort) || portIdx >= kPortsPerController) {
    fn_complete_eject(true, true);
    return;
  }
  const sDiskInfo& disk = infType == kInfUSBPort ? dev.usb_disk[portIdx] : dev.sata_disk[portIdx];
  if (infType == kInfUSBPort && is_dvd_rom(disk.media_type)) {
    application_.run_critical_alert_panel(localized(kAppTitle), localized(kDVDRefusal), localized(kConfirmButton));
    fn_complete_eject(true, false);
    return;
  }
  if (disk.bsd_unit >= kNoDisk) {
    fn_complete_eject(true, true);
    return;
  }
  const bool unmounted = fn_unmount_diskX(disk.bsd_unit);
  fn_complete_eject(unmounted, unmounted);
}

void AppDelegate::eject_group(const sDevice& dev, std::uint8_t infType) {
  bool success = true;
  for (const PortDisk& port : group_port_disks(dev, getThunderboltDevType(&dev), infType)) {
    if (port.disk->bsd_unit == kNoDisk || (port.usb && is_dvd_rom(port.disk->media_type))) continue;
    if (!eject_port(*port.disk)) success = false;
  }
  fn_complete_eject(success, true);
}

bool AppDelegate::fn_unmount_diskX(std::uint32_t bsdNum) {
  const DASession session = DASession::create();
  if (!session) return false;
  bool result = true;
  for (std::uint32_t slice = 0; slice < kSlicesPerDisk; ++slice) {
    const auto volume = named_mounted_volume(session, bsdNum, slice);
    if (!volume || !check_resource_is_reachable(volume->path)) continue;
    EjectResult ejected = unmount_and_eject_device_at(volume->path);
    if (ejected) continue;
    result = false;
    // The name is part of the message as it stands, whatever characters it holds; why
    // the system refused goes below it.
    application_.run_critical_alert_panel(Alert{localized(kAppTitle), std::string(kVolumeEjectFailed) + volume->name,
                                               localized(kConfirmButton), {}, {}, std::move(ejected.reason)});
  }
  return result;
}

}  // namespace berth::app
