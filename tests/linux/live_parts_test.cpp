// The pure parts of the live backends: what is done to a drive after the unmount, udev's
// label escapes, the device field of a memory map line, a disk seen in a sysfs tree, and
// the table of kernel names and units.
#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include "platform/linux/eject_decision.h"
#include "platform/linux/live_disks.h"
#include "platform/linux/udev_label.h"
#include "platform/linux/unit_table.h"
#include "platform/linux/volume_holders.h"
#include "tests/support/temp_dir.h"

namespace berth::linux_host {
namespace {

TEST(EjectDecision, PowersOffWhatCanBeEjectsRemovableMediaAndOtherwiseOnlyUnmounts) {
  using enum DriveAction;
  // has_drive, can_power_off, ejectable, has_siblings
  const std::pair<DriveFacts, DriveAction> cases[] = {
      {{false, false, false, false}, unmount_only},  // a loop device: no drive
      {{true, false, false, false}, unmount_only}, {{true, true, false, false}, power_off},
      {{true, true, true, false}, power_off},       {{true, false, true, false}, eject},
      {{true, true, true, true}, eject},  // one slot of a card reader
      {{true, true, false, true}, unmount_only}};
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(drive_action(cases[i].first), cases[i].second) << i;
}

TEST(UdevLabel, EscapesAreDecodedAndEverythingElseKept) {
  EXPECT_EQ(decode_udev_escapes("My\\x20Disk\\x20\xc3\xa9"), "My Disk \xc3\xa9");
  EXPECT_EQ(decode_udev_escapes("a\\x2fb\\x5c"), "a/b\\");
  EXPECT_EQ(decode_udev_escapes("50\\%\\x2"), "50\\%\\x2");
}

TEST(VolumeHolders, AMapLineGivesTheDeviceOfItsFile) {
  EXPECT_EQ(map_line_device("7f1c-7f1d r-xp 00000000 07:1a 1234   /media/root/A B/lib.so"), makedev(7, 0x1a));
  EXPECT_EQ(map_line_device("7ffd-7ffe rw-p 00000000 00:00 0      [stack]"), makedev(0, 0));
  EXPECT_EQ(map_line_device("garbage"), makedev(0, 0));
}

TEST(LiveDisksSysfs, AFixtureTreeGivesNamesAndTheDrivesVendorAndModel) {
  const testing::TempDir root;
  for (const auto& [file, text] : {std::pair{"block/sdc/dev", "8:32\n"}, {"block/sdc/device/vendor", "ATA     \n"},
                                   {"block/sdc/device/model", "Samsung SSD 860 \n"}, {"block/sdc/sdc1/dev", "8:33\n"},
                                   {"block/sdc/sdc1/partition", "1\n"}, {"block/loop5/dev", "7:5\n"},  // no medium
                                   {"block/dm-0/dev", "253:0\n"}})                                     // no unit
    root.write(file, text);
  LiveDisks disks(root.path(), root / "no-mountinfo", [](dev_t) { return std::optional<std::string>("Label"); });
  EXPECT_EQ(disks.bsd_names(), (std::vector<std::string>{"disk2", "disk2s1"}));
  const da_handle_t session = disks.session_create();
  const da_handle_t slice = disks.disk_create_from_bsd_name(session, "/dev/disk2s1");
  const da_handle_t description = disks.disk_copy_description(slice);
  EXPECT_EQ(disks.description_value(description, DiskDescriptionKey::media_name), "ATA Samsung SSD 860");
  EXPECT_EQ(disks.description_value(description, DiskDescriptionKey::volume_name), "Label");
  EXPECT_EQ(disks.description_value(description, DiskDescriptionKey::volume_path), std::nullopt);
  EXPECT_EQ(disks.disk_create_from_bsd_name(session, "disk133"), 0u) << "loop5, unattached";
  EXPECT_EQ(disks.disk_create_from_bsd_name(session, "disk2s2"), 0u);
  disks.description_release(description);
  disks.disk_release(slice);
  disks.session_release(session);
  EXPECT_EQ(disks.held(), 0u);
}

std::string bsd_of(std::optional<BsdUnit> unit) { return unit ? bsd_name(*unit) : "none"; }

TEST(UnitTable, MapsKernelNamesAndUnitsBothWaysAtTheEdgesOfEachRange) {
  const std::pair<const char*, const char*> cases[] = {
      {"sda", "disk0"},          {"sdz", "disk25"},         {"sdaa", "disk26"},         {"sdc1", "disk2s1"},
      {"sdaz12", "disk51s12"},   {"sddx", "disk127"},       {"sddy", "disk1128"},       {"loop0", "disk128"},
      {"loop0p2", "disk128s2"},  {"loop63", "disk191"},     {"loop64", "disk100064"},   {"sr0", "disk192"},
      {"sr31", "disk223"},       {"sr32", "disk200032"},    {"nvme0n1", "disk224"},     {"nvme0n1p3", "disk224s3"},
      {"nvme30n1", "disk254"},   {"nvme31n1", "disk331001"}, {"nvme0n2p1", "disk300002s1"}};
  for (const auto& [kernel, bsd] : cases) {
    EXPECT_EQ(bsd_of(unit_of_kernel_name(kernel)), bsd) << kernel;
    const auto unit = parse_bsd_name(std::string("/dev/") + bsd);
    EXPECT_EQ(bsd_of(unit), bsd);
    EXPECT_EQ(unit ? kernel_name_of_unit(*unit) : std::nullopt, kernel) << bsd;
  }
}

TEST(UnitTable, RefusesWhatItDoesNotCover) {
  for (const char* name : {"sd", "sda0", "sdA", "sda01", "loop", "loop1p", "loop01", "sr0p1", "nvme0", "nvme0n0",
                           "nvme0n1p0", "vda", "dm-0", "md0", "mmcblk0", ""})
    EXPECT_FALSE(unit_of_kernel_name(name)) << name;
  // 255 is "no disk" and units between the ranges belong to no device; optical drives have no partitions.
  for (const BsdUnit unit : {BsdUnit{255}, {256}, {999}, {1127}, {300000}, {301001}, {192, 1}})
    EXPECT_FALSE(kernel_name_of_unit(unit)) << unit.unit;
  for (const char* name : {"disk", "disk1s", "disk1s0", "disk01", "disk-1", "disks1", "disk1x", "sda"})
    EXPECT_FALSE(parse_bsd_name(name)) << name;
}

}  // namespace
}  // namespace berth::linux_host
