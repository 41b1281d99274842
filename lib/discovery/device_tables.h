#pragma once
// The device tables: three working tables of one scan (every PCI device, the SATA
// controller candidates, the USB controller candidates) and the dock table that the
// menu and eject code read. Plain records in static storage; the passes of a scan
// talk to each other only through these, by record index and registry handle.
#include <cstdint>

#include "platform/io_types.h"

namespace berth {

inline constexpr std::uint32_t kPCIDevListCapacity = 1024;
inline constexpr std::uint32_t kRecordTableCapacity = kPCIDevListCapacity;  // all three working tables
inline constexpr std::uint32_t kServicesUnderTBCapacity = 512;
inline constexpr std::uint32_t kDeviceSlotCount = 16;
inline constexpr std::uint32_t kPortsPerController = 4;
inline constexpr std::uint32_t kVolumeNameCapacity = 32;
inline constexpr std::uint32_t kNoDisk = 0xFF;  // a port without a disk; unit 0 is a real disk

struct sIOPCIDev {
  io_object_t service;
  char pcidebug[32];
  io_object_t services_under_TB[kServicesUnderTBCapacity];
  std::uint32_t services_under_TB_cnt;
  std::uint32_t VID;
  std::uint32_t DID;
  std::uint32_t isGUIDValid;
  std::uint32_t TB_GUID_low;
  std::uint32_t TB_GUID_high;
};

struct sCandidateM91xxDev {
  io_object_t service;
  char pcidebug[32];
  std::uint32_t VID;
  std::uint32_t DID;
  std::uint32_t SUB_VID;
  std::uint32_t SUB_DID;
  std::uint32_t disk_cnt;
  std::uint32_t idxDisk;
  char model[kPortsPerController][128];
  char SN[kPortsPerController][128];
  std::uint32_t has_disk[kPortsPerController];
  std::uint32_t BSD_unit[kPortsPerController];
  std::uint32_t isGUIDValid;
  io_object_t service_thunderbolt;
  std::uint32_t TB_GUID_low;
  std::uint32_t TB_GUID_high;
};

struct sCandidateFL1100Dev {
  io_object_t service;
  char pcidebug[32];
  std::uint32_t VID;
  std::uint32_t DID;
  std::uint32_t SUB_VID;
  std::uint32_t SUB_DID;
  std::uint32_t disk_cnt;
  std::uint32_t idxDisk;
  std::uint32_t has_disk[kPortsPerController];
  std::uint32_t BSD_unit[kPortsPerController];
  char media_type[kPortsPerController][16];
  std::uint32_t isGUIDValid;
  io_object_t service_thunderbolt;
  std::uint32_t TB_GUID_low;
  std::uint32_t TB_GUID_high;
};

// The 512-byte IDENTIFY DEVICE block of the ATA/ATAPI command set, as 256 words.
struct _ATA_IDENTIFY_DATA {
  std::uint16_t words[256];
};

struct _SMART_itemsS {
  std::uint8_t revision;
  std::uint8_t is_valid : 1;
  std::uint8_t item_count : 7;
  std::uint8_t reserved[2];
  std::uint8_t raw[512];
};

struct sDiskInfo {
  char model[128];
  char info_a[128];
  char serial[128];
  char info_b[128];
  char media_type[16];
  std::uint32_t bsd_unit;
  std::uint32_t info_c;
  std::uint32_t info_d;
  char info_e[16];
  float info_f;
  char info_g[16];
  std::uint32_t info_h;
  std::uint32_t info_i;
  _ATA_IDENTIFY_DATA ata_identify;
  _SMART_itemsS smart_items;
  char info_j[8];
};

// Nested types the program declares but does not fill; they keep the record layout.
struct _gui_system_info {
  std::uint8_t name[24];
  std::uint8_t version[8];
  std::uint16_t word_a, word_b, word_c, word_d;
  std::uint8_t label[16];
  std::uint16_t word_e, word_f, word_g;
  std::uint8_t byte_a, byte_b;
  std::uint16_t word_h, word_i;
};

struct _gui_raid_info {
  std::uint8_t name[24];
  std::uint8_t version[8];
  std::uint8_t level : 3;
  std::uint8_t flag_a : 1;
  std::uint8_t flag_b : 1;
  std::uint8_t flag_c : 1;
  std::uint8_t flag_d : 1;
  std::uint8_t flag_e : 1;
  std::uint8_t state : 8;
  std::uint16_t word_a;
  std::uint32_t dword_a;
  std::uint32_t dword_b;
  std::uint8_t byte_a;
  std::uint8_t byte_b;
  std::uint8_t pad_a[2];
  std::uint8_t byte_c;
  std::uint8_t byte_d;
  std::uint8_t pad_b[2];
  std::uint32_t dword_c;
  std::uint32_t dword_d;
};

struct sRAIDMemberInfo {
  std::uint8_t index;
  bool present;
  std::uint8_t pad[2];
};

struct sRAIDInfo {
  std::uint32_t id;
  char description[512];
  char label[16];
  char version[8];
  char name[32];
  std::uint32_t dword_a, dword_b, dword_c, dword_d;
  sRAIDMemberInfo members[4];
  std::uint8_t byte_a;
  std::uint8_t pad_a[3];
  std::uint8_t bytes_b[4];
  std::uint8_t byte_c;
  std::uint8_t pad_b[3];
  char path[128];
  void* context;
  std::int32_t int_a, int_b;
  char member_names[16][128];
  std::uint8_t byte_d;
  std::uint8_t pad_c[3];
};

struct sVantrelRAIDInfo {
  _gui_raid_info gui;
  sRAIDInfo raid;
  std::uint32_t tail;
};

struct sDevice {
  io_object_t service;
  void* dev_ptr;
  std::uint32_t bus_num;
  std::uint32_t dev_aux[4];
  std::uint32_t dev_num;
  std::uint32_t fun_num;
  std::uint32_t VID;
  std::uint32_t DID;
  std::uint32_t SUB_VID;
  std::uint32_t SUB_DID;
  std::uint32_t dev_kind;
  std::uint8_t is_drive_product : 1;
  std::uint8_t dev_flag_b : 1;
  std::uint8_t dev_flag_c : 1;
  std::uint8_t dev_bits5 : 5;
  std::uint8_t dev_pad[3];
  std::uint32_t spi_flash_id;
  char bios_ver[16];
  std::uint32_t disk_cnt;
  std::uint32_t dev_aux_u;
  std::uint32_t dev_tbl_a[8];
  std::uint32_t dev_tbl_b[8];
  std::uint32_t dev_aux_v;
  _gui_system_info sys_info;
  sDiskInfo sata_disk[kPortsPerController];
  sDiskInfo usb_disk[kPortsPerController];
  sVantrelRAIDInfo raid_a[4];
  sVantrelRAIDInfo raid_b[4];
  char dev_tail[8];
  std::uint32_t isGUIDValid;
  io_object_t service_thunderbolt;
  std::uint32_t TB_GUID_low;
  std::uint32_t TB_GUID_high;
  // Volume names gathered by the menu code; the texts belong to the menu build that
  // wrote them and stay valid until the next build of the dock's block.
  const char* vol_names[kVolumeNameCapacity];
  std::uint8_t vol_name_cnt;
  std::uint8_t vol_pad[3];
  double vol_free_gb[kVolumeNameCapacity];
};

struct sDeviceSlot {
  sDevice dev;
  std::uint8_t valid;
};

extern sIOPCIDev gIOPCIDevList[kPCIDevListCapacity];
extern std::uint32_t gIOPCIDevCnt;
extern sCandidateM91xxDev gCandidateM91xxDeviceList[kPCIDevListCapacity];
extern std::uint32_t gCandidateM91xxDevCnt;
extern sCandidateFL1100Dev gCandidateFL1100DeviceList[kPCIDevListCapacity];
extern std::uint32_t gCandidateFL1100DevCnt;
extern sDeviceSlot vtr_device_list[kDeviceSlotCount];

}  // namespace berth
