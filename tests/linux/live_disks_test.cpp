// The live backends on real loop devices, mounted and ejected through UDisks, and the
// real berthctl on a described dock whose ports hold them. Where the services are missing
// the test skips with the reason, or fails when BERTH_REQUIRE_LIVE_SERVICES=1 (as CI sets it).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/linux/live_disks.h"
#include "platform/linux/live_file_system.h"
#include "platform/linux/mount_table.h"
#include "platform/linux/udisks_workspace.h"
#include "platform/linux/unit_table.h"
#include "platform/posix/posix_processes.h"
#include "platform/services.h"
#include "tests/support/machine_builder.h"
#include "tests/support/run_berthctl.h"
#include "tests/support/temp_dir.h"

namespace berth {
namespace {

namespace fs = std::filesystem;
using namespace berth::testing;
using namespace berth::linux_host;

constexpr std::uint64_t kFirstSector = 2048, kPartitionSectors = 24u << 11;  // 24 MiB

std::string run(const std::string& program, const std::vector<std::string>& arguments) {
  const auto task = PosixProcesses().launch(program, arguments);
  return task && task->wait_for_exit(60) ? task->read_output() : std::string();
}

// Polls every 50 ms.
template <class Ready>
bool wait_until(Ready ready, int tries = 200) {
  for (int i = 0; i < tries; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(50)))
    if (ready()) return true;
  return false;
}

// Mounts through UDisks once it has seen the file system; where, or "" when it would not.
std::string mount(const std::string& device) {
  const std::string command = "udisksctl mount --no-user-interaction -b \"$0\" 2>&1";
  std::string said;  // "Mounted /dev/loop3p1 at /media/root/Travel"
  if (!wait_until([&] { return (said = run("/bin/sh", {"-c", command, device})).starts_with("Mounted "); })) return "";
  const std::size_t at = said.find(" at ");
  return said.substr(at + 4, said.find_last_not_of('\n') - at - 3);
}

bool is_mounted(const std::string& path) {
  return std::ranges::any_of(read_mount_table(), [&](const Mount& mount) { return mount.target == path; });
}

// A 64 MiB image with ext4 file systems carrying the labels: one on the whole disk for one
// label, else a partition table with a partition for each. All is written before the image
// becomes a device, so udev and UDisks see every file system from the start.
void write_image(const fs::path& image, const std::vector<std::string>& labels) {
  write_file(image, "");
  fs::resize_file(image, 64u << 20);
  if (labels.size() == 1) return void(run("/usr/sbin/mkfs.ext4", {"-q", "-F", "-L", labels[0], image}));
  std::string table = "label: dos\n";
  for (std::size_t i = 0; i < labels.size(); ++i)
    table += format("start=%ju, size=%ju\n", kFirstSector + i * kPartitionSectors, kPartitionSectors);
  run("/bin/sh", {"-c", "printf %s \"$0\" | /usr/sbin/sfdisk -q \"$1\"", table, image});
  for (std::size_t i = 0; i < labels.size(); ++i)
    run("/usr/sbin/mkfs.ext4", {"-q", "-F", "-L", labels[i], "-E",
                                format("offset=%ju", (kFirstSector + i * kPartitionSectors) * 512), image, "24M"});
}

// A loop device over such an image, each file system mounted through UDisks. The destructor takes away what it made
// (the mounts, then the loop device), also after a failed test, and never touches any other device.
struct LoopDisk {
  LoopDisk(const fs::path& image, const std::vector<std::string>& labels) {
    write_image(image, labels);
    const std::string shown = run("/usr/sbin/losetup", {"--find", "--show", "--partscan", image});
    if (!shown.starts_with("/dev/loop")) return;
    device = shown.substr(0, shown.find('\n'));
    const std::string name = fs::path(device).filename().string();
    unit = unit_of_kernel_name(name).value_or(BsdUnit{}).unit;
    // The kernel does not always read the table when the device is set up.
    const auto table_read = [&] { return fs::exists("/sys/block/" + name + "/" + name + "p1"); };
    if (labels.size() > 1 && !wait_until(table_read, 20)) run("/usr/bin/partx", {"-a", device});
    for (std::size_t i = 1; i <= labels.size(); ++i)
      paths.push_back(mount(labels.size() == 1 ? device : device + "p" + std::to_string(i)));
  }
  // Through UDisks first, so it also takes away the directory it made; a mount it refuses
  // to give up is detached from the tree.
  ~LoopDisk() {
    UDisksWorkspace cleaner;
    for (const std::string& path : paths) {
      if (!path.empty() && is_mounted(path)) cleaner.unmount_and_eject(path);
      if (!path.empty() && is_mounted(path)) ::umount2(path.c_str(), MNT_DETACH);
    }
    if (!device.empty()) run("/usr/sbin/losetup", {"--detach", device});
  }
  LoopDisk(const LoopDisk&) = delete;
  LoopDisk& operator=(const LoopDisk&) = delete;
  std::string bsd_name(std::uint32_t slice) const { return linux_host::bsd_name({unit, slice}); }

  std::string device;  // "/dev/loop3"; empty when losetup failed
  std::uint32_t unit = 0;
  std::vector<std::string> paths;  // where UDisks mounted each file system; "" where it did not
};

// A `sleep` whose working directory lies inside a mounted volume, killed with the test.
struct Holder {
  explicit Holder(const std::string& cwd) : pid(::fork()) {
    char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("600"), nullptr};
    if (pid == 0) ::_exit(::chdir(cwd.c_str()) == 0 ? ::execve("/bin/sleep", argv, environ) : 127);
  }
  ~Holder() { if (pid > 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, nullptr, 0); }
  const pid_t pid;
};

// Why the live services cannot be used here; empty when they can.
std::string live_services_missing(UDisksWorkspace& workspace) {
  if (::geteuid() != 0) return "loop devices need root";
  if (!fs::exists("/dev/loop-control")) return "this machine has no loop devices";
  const bool answers = workspace.client() && udisks_is_running(workspace.client());
  return answers ? "" : "UDisks2 does not answer on the system D-Bus (scripts/start-services.sh starts it)";
}

// What the menu reads for one disk or slice: volume name and path; every handle given back.
std::pair<std::optional<std::string>, std::optional<std::string>> volume_of(LiveDisks& disks, const std::string& bsd) {
  const da_handle_t session = disks.session_create();
  const da_handle_t disk = disks.disk_create_from_bsd_name(session, bsd);
  const da_handle_t description = disks.disk_copy_description(disk);
  auto seen = std::pair(disks.description_value(description, DiskDescriptionKey::volume_name),
                        disks.description_value(description, DiskDescriptionKey::volume_path));
  disks.description_release(description);
  disks.disk_release(disk);
  disks.session_release(session);
  EXPECT_EQ(disks.held(), 0u);
  return seen;
}

// A type-10 dock whose USB port i+1 holds disks[i], as the registry of a machine file.
std::string dock_with(const std::vector<const LoopDisk*>& disks) {
  json ports = json::array();
  for (const LoopDisk* disk : disks) {
    const json media = entry("media", "IOMedia", json::array({prop_num("BSD Unit", disk->unit)}));
    ports.push_back(entry("port", "AppleUSB30XHCIPort", json::array({prop_num("PortNum", std::ssize(ports) + 1)}),
                          json::array({media})));
  }
  const json controller = entry("XHC1", "AppleUSBXHCIFL1100", json::array(), std::move(ports));
  const json usb = pci_device("usb", kUSBController, json::array({controller}));
  return machine(json::array({thunderbolt("UPSB", 0x003D000A, 0x12345678, json::array({usb}))}));
}

// Three loop disks: `whole` with a file system on the whole disk, `chosen` and `busy`
// with two partitions each; `whole` and `busy` on the ports of a dock that berthctl is
// given. Each step leaves the others' disks as they were.
TEST(LiveDisks, VolumesAreNamedAndAnEjectTakesItsWholeDiskUnlessAVolumeIsBusy) {
  UDisksWorkspace workspace;
  if (const std::string missing = live_services_missing(workspace); !missing.empty()) {
    const char* required = std::getenv("BERTH_REQUIRE_LIVE_SERVICES");
    if (required && std::string(required) == "1") FAIL() << "live services required but missing: " << missing;
    GTEST_SKIP() << missing;
  }
  // Destroyed from the last: the holder, then the mounts and loop devices, then the images.
  const TempDir dir;
  const LoopDisk whole(dir / "whole.img", {"My Disk é"});
  const LoopDisk chosen(dir / "chosen.img", {"Travel", ""});
  const LoopDisk busy(dir / "busy.img", {"Busy", "Free"});
  std::optional<Holder> holder;
  LiveDisks disks;

  // Named by the label as written, or else by the mount directory.
  for (const auto& [bsd, path, label] : {std::tuple{whole.bsd_name(0), whole.paths.at(0), "My Disk é"},
                                         {chosen.bsd_name(1), chosen.paths.at(0), "Travel"},
                                         {chosen.bsd_name(2), chosen.paths.at(1), ""}}) {
    ASSERT_TRUE(!path.empty() && is_mounted(path)) << label << ": mounted through UDisks";
    const std::string name = *label ? label : fs::path(path).filename().string();
    EXPECT_EQ(volume_of(disks, bsd), std::pair(std::optional(name), std::optional(path))) << label;
    EXPECT_EQ(std::ranges::count(disks.bsd_names(), bsd), 1) << label;
    EXPECT_TRUE(LiveFileSystem().is_reachable(path));
  }
  const auto free_bytes = LiveFileSystem().free_bytes(whole.paths.at(0));
  EXPECT_TRUE(free_bytes > 40u << 20 && free_bytes < 64u << 20) << "a fresh 64 MiB ext4 is mostly free";

  // berthctl finds the disks on their dock ports.
  const std::string file = dir.write("dock.json", dock_with({&whole, &busy}));
  const auto berthctl = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--machine", file, "--live-disks"});
    return run_berthctl(args);
  };
  const CommandResult volumes = berthctl({"volumes", "--json"});
  ASSERT_EQ(volumes.exit_status, 0) << volumes.err;
  const json listed = json::parse(volumes.last_line())["disks"];
  for (const auto& [disk, port] : {std::pair(&whole, 1), std::pair(&busy, 2)}) {
    const auto found =
        std::find_if(listed.begin(), listed.end(), [&](const json& d) { return d["bsd"] == disk->bsd_name(0); });
    ASSERT_NE(found, listed.end()) << disk->bsd_name(0) << " in " << volumes.out;
    EXPECT_EQ(found->value("side", "") + " " + std::to_string(found->value("port", 0)) + " " +
                  (*found)["volumes"][0].value("path", ""), "usb " + std::to_string(port) + " " + disk->paths.at(0));
  }

  // Another volume of its disk is busy: refused, with the holder named.
  holder.emplace(busy.paths.at(0));
  const std::string held = "sleep (pid " + std::to_string(holder->pid) + ")";
  const EjectResult refused = workspace.unmount_and_eject(busy.paths.at(1));
  EXPECT_FALSE(refused.ejected);
  EXPECT_NE(refused.reason.find(busy.paths.at(0) + " is in use by " + held), std::string::npos) << refused.reason;
  EXPECT_TRUE(is_mounted(busy.paths.at(0)));

  const EjectResult result = workspace.unmount_and_eject(chosen.paths.at(1));
  EXPECT_TRUE(result.ejected) << result.reason;
  EXPECT_FALSE(is_mounted(chosen.paths.at(0)) || is_mounted(chosen.paths.at(1)));
  EXPECT_EQ(volume_of(disks, chosen.bsd_name(1)).second, std::nullopt);
  EXPECT_EQ(volume_of(disks, whole.bsd_name(0)).second, whole.paths.at(0));

  // berthctl ejects the first port; the second, busy itself, is refused with its holder named.
  for (const auto& [tag, refusal] : {std::pair("0x100", false), std::pair("0x101", true)}) {
    const CommandResult eject = berthctl({"eject", "--tag", tag, "--json"});
    EXPECT_EQ(eject.exit_status != 0, refusal) << tag << ": " << eject.out << eject.err;
    EXPECT_FALSE(is_mounted(whole.paths.at(0))) << tag;
    EXPECT_TRUE(is_mounted(busy.paths.at(0))) << tag;
    const std::string alert = refusal ? json::parse(eject.last_line())["alerts"][0].value("informative", "") : held;
    EXPECT_NE(alert.find(held), std::string::npos) << eject.out;
  }
}

}  // namespace
}  // namespace berth
