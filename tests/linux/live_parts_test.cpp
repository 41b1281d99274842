// The pure parts of the live backends: what is done to a drive after the unmount, udev's
// label escapes, the device field of a memory map line, and a disk seen in a sysfs tree.
#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <fstream>

#include "platform/linux/eject_decision.h"
#include "platform/linux/live_disks.h"
#include "platform/linux/udev_label.h"
#include "platform/linux/volume_holders.h"

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
  const fs::path root = fs::temp_directory_path() / ("berth-sysfs-" + std::to_string(::getpid()));
  const auto write = [&](const fs::path& file, const std::string& text) {
    fs::create_directories((root / file).parent_path());
    std::ofstream(root / file) << text;
  };
  write("block/sdc/dev", "8:32\n");
  write("block/sdc/device/vendor", "ATA     \n");
  write("block/sdc/device/model", "Samsung SSD 860 \n");
  write("block/sdc/sdc1/dev", "8:33\n");
  write("block/sdc/sdc1/partition", "1\n");
  write("block/loop5/dev", "7:5\n");  // nothing attached: no disk
  write("block/dm-0/dev", "253:0\n");  // no unit
  {
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
  fs::remove_all(root);
}

}  // namespace
}  // namespace berth::linux_host
