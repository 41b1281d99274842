#pragma once
// A file system's label as udev recorded it when it probed the device. ID_FS_LABEL
// has blanks and other characters replaced; ID_FS_LABEL_ENC keeps every byte, with
// anything unsafe written as "\xHH", so the label is decoded from the latter.
#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace berth::linux_host {

// "My\x20Disk" -> "My Disk"; a backslash not followed by "x" and two hex digits stays.
std::string decode_udev_escapes(std::string_view encoded);

// The label of the file system on the block device with this number; nothing when udev
// knows no file system label for it.
std::optional<std::string> udev_fs_label(dev_t device);

}  // namespace berth::linux_host
