#pragma once
// What is done to a drive once every file system of its disk is unmounted. Powering off
// is what a desktop does for a USB or eSATA disk (it may then be pulled safely); a
// drive with removable media is ejected instead; a disk without a drive of its own (a
// loop device) is only unmounted. A drive that shares its USB device with others (the
// card slots of one reader) is not powered off, as that would cut the others too.
namespace berth::linux_host {

struct DriveFacts {
  bool has_drive = false;
  bool can_power_off = false;  // the drive's CanPowerOff
  bool ejectable = false;      // the drive's Ejectable
  bool has_siblings = false;   // other drives share its device (SiblingId)
};

enum class DriveAction { unmount_only, power_off, eject };

DriveAction drive_action(const DriveFacts& facts);

}  // namespace berth::linux_host
