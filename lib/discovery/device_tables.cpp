#include "lib/discovery/device_tables.h"

#include <type_traits>

namespace berth {

// The records are cleared and copied byte-wise, so they must stay plain data.
static_assert(std::is_trivially_copyable_v<sIOPCIDev>);
static_assert(std::is_trivially_copyable_v<sCandidateM91xxDev>);
static_assert(std::is_trivially_copyable_v<sCandidateFL1100Dev>);
static_assert(std::is_trivially_copyable_v<sDeviceSlot>);
static_assert(sizeof(_ATA_IDENTIFY_DATA) == 512);
static_assert(sizeof(_SMART_itemsS) == 516);
static_assert(sizeof(sRAIDMemberInfo) == 4);

sIOPCIDev gIOPCIDevList[kPCIDevListCapacity];
std::uint32_t gIOPCIDevCnt;
sCandidateM91xxDev gCandidateM91xxDeviceList[kPCIDevListCapacity];
std::uint32_t gCandidateM91xxDevCnt;
sCandidateFL1100Dev gCandidateFL1100DeviceList[kPCIDevListCapacity];
std::uint32_t gCandidateFL1100DevCnt;
sDeviceSlot vtr_device_list[kDeviceSlotCount];

}  // namespace berth
