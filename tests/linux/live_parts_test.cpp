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
#include "tests/linux/sysfs_tree.h"

namespace berth::linux_host {
namespace {

namespace fs = std::filesystem;

TEST(EjectDecision, PowersOffWhatCanBeEjectsRemovableMediaAndOtherwiseOnlyUnmounts) {
  struct Case {
    DriveFacts facts;
    DriveAction action;
  };
  const Case cases[] = {
      {{false, false, false, false}, DriveAction::unmount_only},  // a loop device: no drive
      {{true, false, false, false}, DriveAction::unmount_only},
      {{true, true, false, false}, DriveAction::power_off},
      {{true, true, true, false}, DriveAction::power_off},
      {{true, false, true, false}, DriveAction::eject},
      {{true, true, true, true}, DriveAction::eject},  // one slot of a card reader
      {{true, true, false, true}, DriveAction::unmount_only},
  };
  for (const Case& c : cases)
    EXPECT_EQ(drive_action(c.facts), c.action) << c.facts.has_drive << c.facts.can_power_off << c.facts.ejectable
                                               << c.facts.has_siblings;
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
  testing::SysfsTree tree;
  const fs::path& root = tree.root();
  const std::pair<const char*, const char*> files[] = {
      {"block/sdc/dev", "8:32\n"},          {"block/sdc/device/vendor", "ATA     \n"},
      {"block/sdc/device/model", "Samsung SSD 860 \n"},
      {"block/sdc/sdc1/dev", "8:33\n"},     {"block/sdc/sdc1/partition", "1\n"},
      {"block/loop5/dev", "7:5\n"},         // nothing attached: no disk
      {"block/dm-0/dev", "253:0\n"}};      // no unit
  for (const auto& [file, text] : files) tree.write(root / file, text);
  LiveDisks disks(root, root / "no-mountinfo", [](dev_t) { return std::optional<std::string>("Label"); });
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

struct Case {
  const char* kernel;
  std::uint32_t unit;
  std::uint32_t slice;
  const char* bsd;
};

// Both directions of every range, at its edges.
constexpr Case kCases[] = {
    {"sda", 0, 0, "disk0"},           {"sdz", 25, 0, "disk25"},        {"sdaa", 26, 0, "disk26"},
    {"sdc1", 2, 1, "disk2s1"},        {"sdaz12", 51, 12, "disk51s12"}, {"sddx", 127, 0, "disk127"},
    {"sddy", 1128, 0, "disk1128"},    {"loop0", 128, 0, "disk128"},    {"loop0p2", 128, 2, "disk128s2"},
    {"loop63", 191, 0, "disk191"},    {"loop64", 100064, 0, "disk100064"},
    {"sr0", 192, 0, "disk192"},       {"sr31", 223, 0, "disk223"},     {"sr32", 200032, 0, "disk200032"},
    {"nvme0n1", 224, 0, "disk224"},   {"nvme0n1p3", 224, 3, "disk224s3"},
    {"nvme30n1", 254, 0, "disk254"},  {"nvme31n1", 331001, 0, "disk331001"},
    {"nvme0n2p1", 300002, 1, "disk300002s1"},
};

TEST(UnitTable, MapsKernelNamesAndUnitsBothWays) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.kernel);
    const auto unit = unit_of_kernel_name(c.kernel);
    ASSERT_TRUE(unit);
    EXPECT_EQ(unit->unit, c.unit);
    EXPECT_EQ(unit->slice, c.slice);
    EXPECT_EQ(bsd_name(*unit), c.bsd);
    EXPECT_EQ(kernel_name_of_unit(*unit), c.kernel);
    const auto parsed = parse_bsd_name(std::string("/dev/") + c.bsd);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->unit, c.unit);
    EXPECT_EQ(parsed->slice, c.slice);
  }
}

TEST(UnitTable, RefusesWhatItDoesNotCover) {
  for (const char* name : {"sd", "sda0", "sdA", "sda01", "loop", "loop1p", "loop01", "sr0p1", "nvme0", "nvme0n0",
                           "nvme0n1p0", "vda", "dm-0", "md0", "mmcblk0", ""}) {
    EXPECT_FALSE(unit_of_kernel_name(name)) << name;
  }
  // 255 is "no disk" and units between the ranges belong to no device.
  for (std::uint32_t unit : {255u, 256u, 999u, 1127u, 300000u, 301001u}) {
    EXPECT_FALSE(kernel_name_of_unit({unit, 0})) << unit;
  }
  EXPECT_FALSE(kernel_name_of_unit({192, 1}));  // optical drives have no partitions
  for (const char* name : {"disk", "disk1s", "disk1s0", "disk01", "disk-1", "disks1", "disk1x", "sda"}) {
    EXPECT_FALSE(parse_bsd_name(name)) << name;
  }
}

}  // namespace
}  // namespace berth::linux_host
