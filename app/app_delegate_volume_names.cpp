// The mounted volumes of one disk, appended to its dock's volume-name list.
#include "app/app_delegate.h"
#include "app/model/disk_arbitration.h"
#include "app/volume_rules.h"
#include "platform/services.h"

namespace berth::app {

void AppDelegate::__dump_partition_names(sDevice* dev, std::uint32_t bsdNum, std::uint8_t* volNameCnt) {
  if (!dev || !volNameCnt) return;
  *volNameCnt = 0;
  // 255 is no disk; a larger unit does not fit the byte the eject code is given, so
  // the menu treats its disk as one it cannot address rather than naming another disk.
  if (bsdNum >= kNoDisk) return;
  const DASession session = DASession::create();
  if (!session) return;
  auto& texts = volume_name_texts_[dev];
  std::uint32_t k = 0;
  for (std::uint32_t slice = 0; slice < kSlicesPerDisk; ++slice) {
    // The list is shared by the dock's ports: never past its last entry.
    const std::uint32_t position = dev->vol_name_cnt + k;
    if (position >= kVolumeNameCapacity) break;
    const auto volume = named_mounted_volume(session, bsdNum, slice);
    if (!volume) continue;
    const auto free_bytes = file_system_free_size(volume->path);
    if (!free_bytes) continue;
    texts[position] = volume->name;
    dev->vol_names[position] = texts[position].c_str();
    dev->vol_free_gb[position] = static_cast<double>(*free_bytes) / 1'000'000'000.0;
    ++k;
  }
  *volNameCnt = static_cast<std::uint8_t>(k);
}

}  // namespace berth::app
