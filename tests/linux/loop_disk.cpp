#include "tests/linux/loop_disk.h"

#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "platform/linux/glib_ptr.h"
#include "platform/linux/mount_table.h"
#include "platform/linux/udisks_workspace.h"
#include "platform/posix/posix_processes.h"

namespace berth::testing {
namespace {

namespace fs = std::filesystem;
using namespace linux_host;

constexpr std::uintmax_t kImageBytes = 64u << 20;
constexpr std::uint64_t kFirstSector = 2048;
constexpr std::uint64_t kPartitionSectors = 24u << 11;  // 24 MiB

std::string run(const std::string& program, const std::vector<std::string>& arguments) {
  PosixProcesses processes;
  const auto task = processes.launch(program, arguments);
  if (!task || !task->wait_for_exit(60)) return {};
  return task->read_output();
}

// Polls until `ready` holds or `tries` times 50 ms have passed, letting the client catch up.
template <class Ready>
bool wait_until(UDisksClient* client, Ready ready, int tries = 200) {
  for (int i = 0; i < tries; ++i) {
    if (client) udisks_client_settle(client);
    if (ready()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::uint64_t partition_start(std::size_t index) { return kFirstSector + index * kPartitionSectors; }

// The partition table and file systems are written into the image before it becomes a
// device, so udev and UDisks see every file system from the start.
void write_image(const fs::path& image, const std::vector<std::string>& labels) {
  { std::ofstream(image, std::ios::binary); }
  fs::resize_file(image, kImageBytes);
  if (labels.size() == 1) {
    run("/usr/sbin/mkfs.ext4", {"-q", "-F", "-L", labels[0], image.string()});
    return;
  }
  std::string table = "label: dos\n";
  for (std::size_t i = 0; i < labels.size(); ++i)
    table += "start=" + std::to_string(partition_start(i)) + ", size=" + std::to_string(kPartitionSectors) + "\n";
  std::ofstream(image.string() + ".sfdisk") << table;
  run("/bin/sh", {"-c", "/usr/sbin/sfdisk -q '" + image.string() + "' < '" + image.string() + ".sfdisk'"});
  for (std::size_t i = 0; i < labels.size(); ++i)
    run("/usr/sbin/mkfs.ext4", {"-q", "-F", "-L", labels[i], "-E", "offset=" + std::to_string(partition_start(i) * 512),
                                image.string(), "24M"});
}

}  // namespace

std::optional<std::string> live_services_missing(UDisksClient* client) {
  if (::geteuid() != 0) return "loop devices need root";
  if (!fs::exists("/dev/loop-control")) return "this machine has no loop devices";
  if (!client || !linux_host::udisks_is_running(client))
    return "UDisks2 does not answer on the system D-Bus (scripts/start-services.sh starts it)";
  return std::nullopt;
}

bool live_services_required() {
  const char* required = std::getenv("BERTH_REQUIRE_LIVE_SERVICES");
  return required && std::string(required) == "1";
}

bool is_mounted(const std::string& path) {
  for (const Mount& mount : read_mount_table())
    if (mount.target == path) return true;
  return false;
}

LoopDisk::LoopDisk(UDisksClient* client, const fs::path& dir, const std::vector<std::string>& labels)
    : client_(client) {
  static int images = 0;
  const fs::path image = dir / ("disk" + std::to_string(++images) + ".img");
  write_image(image, labels);
  std::string shown = run("/usr/sbin/losetup", {"--find", "--show", "--partscan", image.string()});
  if (!shown.starts_with("/dev/loop")) return;
  device_ = shown.substr(0, shown.find('\n'));
  const std::string name = fs::path(device_).filename().string();
  unit_ = unit_of_kernel_name(name).value_or(BsdUnit{});
  std::vector<std::string> devices{device_};
  if (labels.size() > 1) {
    devices.clear();
    for (std::size_t i = 1; i <= labels.size(); ++i) devices.push_back(device_ + "p" + std::to_string(i));
    // The kernel does not always read the table when the device is set up.
    if (!wait_until(nullptr, [&] { return fs::exists("/sys/block/" + name + "/" + name + "p1"); }, 20))
      run("/usr/bin/partx", {"-a", device_});
  }
  for (const std::string& device : devices) mount_paths_.push_back(mount(device));
}

std::string LoopDisk::mount(const std::string& device) {
  UDisksFilesystem* filesystem = nullptr;
  GObjectPtr<UDisksObject> object;
  wait_until(client_, [&] {
    object.reset(udisks_client_get_object(client_, ("/org/freedesktop/UDisks2/block_devices/" +
                                                    fs::path(device).filename().string()).c_str()));
    filesystem = object ? udisks_object_peek_filesystem(object.get()) : nullptr;
    return filesystem != nullptr;
  });
  gchar* path = nullptr;
  if (!filesystem ||
      !udisks_filesystem_call_mount_sync(filesystem, g_variant_new("a{sv}", nullptr), &path, nullptr, nullptr))
    return {};
  const GCharPtr owned(path);
  return path;
}

// Through UDisks first, so it also takes away the directory it made; a mount it refuses
// to give up is detached from the tree.
LoopDisk::~LoopDisk() {
  UDisksWorkspace cleaner;
  for (const std::string& path : mount_paths_) {
    if (path.empty() || !is_mounted(path)) continue;
    cleaner.unmount_and_eject(path);
    if (is_mounted(path)) ::umount2(path.c_str(), MNT_DETACH);
  }
  if (!device_.empty()) run("/usr/sbin/losetup", {"--detach", device_});
}

}  // namespace berth::testing
