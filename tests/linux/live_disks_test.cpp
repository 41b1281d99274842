// The live backends on real loop devices, mounted and ejected through UDisks: volume
// names and free space as the menu reads them, an eject that touches one disk only, and
// a busy volume that is refused with its holder named; and the real berthctl ejecting one
// port of a described dock whose ports hold loop disks.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>

#include "platform/linux/live_disks.h"
#include "platform/linux/live_file_system.h"
#include "platform/linux/udisks_workspace.h"
#include "tests/linux/loop_disk.h"
#include "tests/support/machine_builder.h"
#include "tests/support/run_berthctl.h"
#include "tests/support/temp_dir.h"

namespace berth {
namespace {

namespace fs = std::filesystem;
using namespace berth::testing;
using namespace berth::linux_host;

// A child process whose working directory lies inside a mounted volume, ended with the test.
class Holder {
 public:
  explicit Holder(const std::string& cwd) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
    char sleep[] = "sleep";
    char seconds[] = "600";
    char* argv[] = {sleep, seconds, nullptr};
    if (posix_spawnp(&pid_, "sleep", &actions, nullptr, argv, environ) != 0) pid_ = 0;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Holder() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = 0;
};

class LiveDisksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = live_services_missing(workspace_.client())) {
      if (live_services_required()) FAIL() << "live services required but missing: " << *missing;
      GTEST_SKIP() << *missing;
    }
    dir_ = fs::temp_directory_path() / ("berth-live-" + std::to_string(::getpid()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  // Holders go first, then the mounts and loop devices, then the images.
  void TearDown() override {
    holder_.reset();
    loops_.clear();
    if (!dir_.empty()) fs::remove_all(dir_);
  }

  LoopDisk& add_disk(const std::vector<std::string>& labels) {
    loops_.push_back(std::make_unique<LoopDisk>(workspace_.client(), dir_, labels));
    LoopDisk& disk = *loops_.back();
    EXPECT_EQ(disk.mount_paths().size(), labels.size());
    for (const std::string& path : disk.mount_paths()) EXPECT_TRUE(is_mounted(path)) << "mounted through UDisks";
    return disk;
  }

  // What the menu reads for one disk or slice: volume name and path; every handle given back.
  std::pair<std::optional<std::string>, std::optional<std::string>> volume_of(const std::string& bsd) {
    const da_handle_t session = disks_.session_create();
    const da_handle_t disk = disks_.disk_create_from_bsd_name(session, bsd);
    const da_handle_t description = disks_.disk_copy_description(disk);
    auto seen = std::pair(disks_.description_value(description, DiskDescriptionKey::volume_name),
                          disks_.description_value(description, DiskDescriptionKey::volume_path));
    EXPECT_NE(description, 0u) << bsd;
    disks_.description_release(description);
    disks_.disk_release(disk);
    disks_.session_release(session);
    EXPECT_EQ(disks_.held(), 0u);
    return seen;
  }

  UDisksWorkspace workspace_;
  LiveDisks disks_;
  LiveFileSystem file_system_;
  fs::path dir_;
  std::vector<std::unique_ptr<LoopDisk>> loops_;
  std::unique_ptr<Holder> holder_;
};

TEST_F(LiveDisksTest, AVolumeIsNamedByItsLabelAsWrittenOrElseByItsMountDirectory) {
  for (const std::string label : {"Travel", "My Disk é", ""}) {
    LoopDisk& disk = add_disk({label});
    ASSERT_FALSE(disk.mount_paths().front().empty()) << label;
    const std::string path = disk.mount_paths().front();
    const std::string expected = label.empty() ? fs::path(path).filename().string() : label;
    EXPECT_EQ(volume_of(disk.bsd_name(0)), std::pair(std::optional(expected), std::optional(path))) << label;
    const auto names = disks_.bsd_names();
    EXPECT_NE(std::find(names.begin(), names.end(), disk.bsd_name(0)), names.end()) << label;
    EXPECT_TRUE(file_system_.is_reachable(path));
    const auto free_bytes = file_system_.free_bytes(path);
    ASSERT_TRUE(free_bytes) << label;
    EXPECT_GT(*free_bytes, 40u << 20) << "a fresh 64 MiB ext4 is mostly free";
    EXPECT_LT(*free_bytes, 64u << 20);
  }
}

TEST_F(LiveDisksTest, AnEjectUnmountsEveryFileSystemOfItsDiskAndNoOther) {
  LoopDisk& chosen = add_disk({"Alpha one", "Alpha two"});
  LoopDisk& other = add_disk({"Bystander"});
  ASSERT_EQ(chosen.mount_paths().size(), 2u);
  const EjectResult result = workspace_.unmount_and_eject(chosen.mount_paths()[1]);
  EXPECT_TRUE(result.ejected) << result.reason;
  EXPECT_FALSE(is_mounted(chosen.mount_paths()[0]));
  EXPECT_FALSE(is_mounted(chosen.mount_paths()[1]));
  EXPECT_EQ(volume_of(chosen.bsd_name(1)).second, std::nullopt);
  EXPECT_TRUE(is_mounted(other.mount_paths()[0]));
  EXPECT_EQ(volume_of(other.bsd_name(0)).second, other.mount_paths()[0]);
}

// Chosen itself, or another volume of its disk: the refusal names the busy one's path.
TEST_F(LiveDisksTest, ABusyVolumeIsRefusedWithItsHolderNamedAndStaysMounted) {
  for (const std::size_t chosen : {0u, 1u}) {
    LoopDisk& disk = add_disk({"Busy " + std::to_string(chosen), "Free " + std::to_string(chosen)});
    ASSERT_EQ(disk.mount_paths().size(), 2u);
    const std::string busy = disk.mount_paths()[0];
    holder_ = std::make_unique<Holder>(busy);
    ASSERT_GT(holder_->pid(), 0);
    const EjectResult result = workspace_.unmount_and_eject(disk.mount_paths()[chosen]);
    EXPECT_FALSE(result.ejected);
    EXPECT_NE(result.reason.find(busy + " is in use by sleep (pid " + std::to_string(holder_->pid()) + ")"),
              std::string::npos)
        << result.reason;
    EXPECT_TRUE(is_mounted(busy));
  }
}

// A type-10 dock whose USB port i+1 holds disks[i], as the registry of a machine file.
std::string dock_with(const std::vector<const LoopDisk*>& disks) {
  json ports = json::array();
  for (const LoopDisk* disk : disks) {
    const json media = entry("media", "IOMedia", json::array({prop_num("BSD Unit", disk->unit().unit)}));
    ports.push_back(entry("port", "AppleUSB30XHCIPort", json::array({prop_num("PortNum", std::ssize(ports) + 1)}),
                          json::array({media})));
  }
  const json controller = entry("XHC1", "AppleUSBXHCIFL1100", json::array(), std::move(ports));
  const json usb = pci_device("usb", kUSBController, json::array({controller}));
  return machine(json::array({thunderbolt("UPSB", 0x003D000A, 0x12345678, json::array({usb}))}));
}

TEST_F(LiveDisksTest, BerthctlEjectsOneDockPortOfLiveDisksAndNamesTheHolderOfABusyOne) {
  LoopDisk& first = add_disk({"Port one"});
  LoopDisk& second = add_disk({"Port two"});
  ASSERT_FALSE(first.mount_paths().front().empty() || second.mount_paths().front().empty());
  const std::string file = dir_ / "dock.json";
  write_file(file, dock_with({&first, &second}));
  const auto berthctl = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--machine", file, "--live-disks"});
    return run_berthctl(args);
  };

  const CommandResult volumes = berthctl({"volumes", "--json"});
  ASSERT_EQ(volumes.exit_status, 0) << volumes.err;
  const json disks = json::parse(volumes.last_line())["disks"];
  for (const auto& [disk, port] : {std::pair(&first, 1), std::pair(&second, 2)}) {
    const auto listed =
        std::find_if(disks.begin(), disks.end(), [&](const json& d) { return d["bsd"] == disk->bsd_name(0); });
    ASSERT_NE(listed, disks.end()) << disk->bsd_name(0) << " in " << volumes.out;
    EXPECT_EQ(listed->value("side", ""), "usb") << *listed;
    EXPECT_EQ(listed->value("port", 0), port) << *listed;
    EXPECT_EQ((*listed)["volumes"][0].value("path", ""), disk->mount_paths().front()) << *listed;
  }

  // The first port goes and the second stays; then the second, busy, is refused with its
  // holder named and stays mounted.
  struct Step {
    const char* tag;
    bool busy;
  };
  for (const Step step : {Step{"0x100", false}, Step{"0x101", true}}) {
    if (step.busy) holder_ = std::make_unique<Holder>(second.mount_paths().front());
    const CommandResult eject = berthctl({"eject", "--tag", step.tag, "--json"});
    EXPECT_EQ(eject.exit_status != 0, step.busy) << step.tag << ": " << eject.out << eject.err;
    EXPECT_FALSE(is_mounted(first.mount_paths().front())) << step.tag;
    EXPECT_TRUE(is_mounted(second.mount_paths().front())) << step.tag;
    if (!step.busy) continue;
    ASSERT_GT(holder_->pid(), 0);
    const json alert = json::parse(eject.last_line())["alerts"][0];
    EXPECT_NE(alert.value("informative", "").find("sleep (pid " + std::to_string(holder_->pid()) + ")"),
              std::string::npos)
        << eject.out;
  }
}

}  // namespace
}  // namespace berth
