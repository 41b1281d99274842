#include "app/eject_target.h"

#include "app/app_texts.h"
#include "app/model/disk_arbitration.h"
#include "app/volume_rules.h"

namespace berth::app {

std::vector<PortDisk> group_port_disks(const sDevice& dev, std::uint8_t type, std::uint8_t infType) {
  std::vector<PortDisk> disks;
  if ((infType & (kInfUSBPort | kInfAllUSB)) && (type == kDockTypeUSB || type == kDockTypeUSBAndESATA))
    for (std::uint8_t p = 0; p < 3; ++p) disks.push_back({&dev.usb_disk[p], true});
  if ((infType & (kInfESATAPort | kInfAllESATA)) && type == kDockTypeUSBAndESATA)
    for (std::uint8_t p = 0; p < 2; ++p) disks.push_back({&dev.sata_disk[p], false});
  return disks;
}

std::vector<PortDisk> eject_target_disks(std::uint32_t tag) {
  const auto blIdx = static_cast<std::uint8_t>(tag >> 16);
  const auto infType = static_cast<std::uint8_t>(tag >> 8);
  const auto portIdx = static_cast<std::uint8_t>(tag);
  if (blIdx >= kDeviceSlotCount) return {};
  const sDevice& dev = vtr_device_list[blIdx].dev;
  std::vector<PortDisk> disks;
  // The dock's type is the low byte of the GUID's high word, as the menu reads it.
  if (portIdx == kGroupPortIdx) disks = group_port_disks(dev, static_cast<std::uint8_t>(dev.TB_GUID_high), infType);
  else if (portIdx < kPortsPerController && (infType == kInfUSBPort || infType == kInfESATAPort))
    disks.push_back({infType == kInfUSBPort ? &dev.usb_disk[portIdx] : &dev.sata_disk[portIdx], infType == kInfUSBPort});
  std::erase_if(disks, [](const PortDisk& port) { return port.disk->bsd_unit >= kNoDisk; });
  return disks;
}

std::vector<std::string> mounted_volumes_of_target(std::uint32_t tag) {
  const DASession session = DASession::create();
  std::vector<std::string> paths;
  if (!session) return paths;
  for (const PortDisk& port : eject_target_disks(tag))
    for (std::uint32_t slice = 0; slice < kSlicesPerDisk; ++slice)
      if (const auto volume = named_mounted_volume(session, port.disk->bsd_unit, slice)) paths.push_back(volume->path);
  return paths;
}

}  // namespace berth::app
