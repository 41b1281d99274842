#include "platform/linux/udisks_workspace.h"

#include "platform/linux/udisks_disk.h"
#include "platform/linux/volume_holders.h"

namespace berth::linux_host {
namespace {

// Unmount, PowerOff and Eject take no options here: an empty a{sv}.
GVariant* no_options() { return g_variant_new("a{sv}", nullptr); }

// The refusal names the mount path: it may be another volume of the disk than the one
// the alert names.
std::string busy_reason(const MountedFileSystem& mounted) {
  const std::vector<Holder> holders = holders_of(mounted.device);
  const std::string volume = "The volume at " + mounted.mount_path + " is in use";
  return holders.empty() ? volume + "." : volume + " by " + describe_holders(holders) + ".";
}

std::string unmount_refusal(const GError& error, const MountedFileSystem& mounted) {
  if (g_error_matches(&error, UDISKS_ERROR, UDISKS_ERROR_DEVICE_BUSY)) return busy_reason(mounted);
  return "The system refused to unmount " + mounted.mount_path + ": " + dbus_error_text(error);
}

// An empty text when the file system was unmounted, else why not.
std::string unmount(const MountedFileSystem& mounted) {
  GError* raw = nullptr;
  if (udisks_filesystem_call_unmount_sync(mounted.filesystem, no_options(), nullptr, &raw)) return {};
  const GErrorPtr error(raw);
  return unmount_refusal(*error, mounted);
}

std::string power_off_or_eject(UDisksDrive* drive, DriveAction action) {
  GError* raw = nullptr;
  const bool done = action == DriveAction::power_off
                        ? udisks_drive_call_power_off_sync(drive, no_options(), nullptr, &raw)
                        : udisks_drive_call_eject_sync(drive, no_options(), nullptr, &raw);
  if (done) return {};
  const GErrorPtr error(raw);
  return std::string("The volumes were unmounted, but the system refused to ") +
         (action == DriveAction::power_off ? "power off" : "eject") + " the drive: " + dbus_error_text(*error);
}

}  // namespace

std::string dbus_error_text(const GError& error) {
  const GCharPtr name(g_dbus_error_get_remote_error(&error));
  GErrorPtr copy(g_error_copy(&error));
  g_dbus_error_strip_remote_error(copy.get());
  std::string text = copy->message ? copy->message : "";
  if (name) text += " (" + std::string(name.get()) + ")";
  return text;
}

bool udisks_is_running(UDisksClient* client) {
  GDBusObjectManager* manager = client ? udisks_client_get_object_manager(client) : nullptr;
  const GCharPtr owner(manager ? g_dbus_object_manager_client_get_name_owner(G_DBUS_OBJECT_MANAGER_CLIENT(manager))
                               : nullptr);
  return owner != nullptr;
}

UDisksClient* UDisksWorkspace::client() {
  if (client_) return client_.get();
  // Registers UDisks' D-Bus error names, so its errors arrive as UDISKS_ERROR codes.
  static_cast<void>(udisks_error_quark());
  GError* raw = nullptr;
  client_.reset(udisks_client_new_sync(nullptr, &raw));
  if (raw) {
    const GErrorPtr error(raw);
    connect_error_ = error->message ? error->message : "";
  }
  return client_.get();
}

EjectResult UDisksWorkspace::unmount_and_eject(std::string_view mount_path) {
  UDisksClient* udisks = client();
  if (!udisks) return {false, "The disk service (UDisks) cannot be reached: " + connect_error_};
  if (!udisks_is_running(udisks)) return {false, "The disk service (UDisks) is not running."};
  udisks_client_settle(udisks);
  const DiskObjects objects(udisks);
  const std::string whole = objects.whole_disk_at(mount_path);
  if (whole.empty()) return {false, "No disk known to UDisks is mounted at " + std::string(mount_path) + "."};
  // Nothing else of the disk is unmounted after the first refusal.
  for (const MountedFileSystem& mounted : objects.mounted_on(whole, mount_path))
    if (std::string refusal = unmount(mounted); !refusal.empty()) return {false, std::move(refusal)};
  UDisksDrive* drive = objects.drive_of(whole);
  const DriveAction action = drive_action(objects.facts_of(drive));
  if (action != DriveAction::unmount_only)
    if (std::string refusal = power_off_or_eject(drive, action); !refusal.empty()) return {false, std::move(refusal)};
  udisks_client_settle(udisks);
  return {true, {}};
}

}  // namespace berth::linux_host
