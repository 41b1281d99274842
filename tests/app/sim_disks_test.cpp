// The simulated disks behind Disk Arbitration, the file system and the workspace, and
// the machine-file sections that feed them.
#include <gtest/gtest.h>

#include "app/model/disk_arbitration.h"
#include "tests/app/app_harness.h"

namespace berth {
namespace {

using namespace berth::testing;

std::string machine_error(const std::string& text) {
  try {
    SimFixture::from_json(text);
  } catch (const sim::MachineFileError& error) {
    return error.place() + ": " + error.what();
  }
  return "no error";
}

TEST(DisksSection, BadValuesAreReportedWithTheirPlace) {
  EXPECT_EQ(machine_error(R"({"disks": {}})"), "/disks: expected an array, found object");
  EXPECT_EQ(machine_error(R"({"disks": [{"bsd": "sda1"}]})"),
            "/disks/0/bsd: expected a BSD name such as \"disk4\" or \"disk4s2\", found \"sda1\"");
  EXPECT_EQ(machine_error(R"({"disks": [{"bsd": "disk4"}, {"bsd": "disk4"}]})"), "/disks/1/bsd: \"disk4\" is listed twice");
  EXPECT_EQ(machine_error(R"({"disks": [{"bsd": "disk4s1", "volume": {"name": "A", "eject": "later"}}]})"),
            "/disks/0/volume/eject: expected \"ok\" or \"refuse\", found \"later\"");
  EXPECT_EQ(machine_error(R"({"disks": [{"bsd": "disk4s1", "volume": {"free_bytes": -1}}]})"),
            "/disks/0/volume/free_bytes: expected a number from 0 to 18446744073709551615, found the number -1");
  EXPECT_EQ(machine_error(R"({"disk_arbitration": {"session": "maybe"}})"),
            "/disk_arbitration/session: expected \"ok\" or \"fail\", found \"maybe\"");
  EXPECT_EQ(machine_error(R"({"script_runner": {"load": "later"}})"),
            "/script_runner/load: expected \"ok\", \"none\" or \"errors\", found \"later\"");
  EXPECT_EQ(machine_error(R"({"bundle": {"strings": {"Confirm": 1}}})"), "/bundle/strings/Confirm: expected a string, found the number 1");
}

TEST(DiskArbitration, CountsWhatIsTakenAndGivenBack) {
  auto sim = SimFixture::from_json(R"({"disks": [{"bsd": "disk4"}]})");
  auto& da = sim.machine().disks().disk_arbitration();
  {
    const app::DASession session = app::DASession::create();
    const app::DADisk disk = app::DADisk::create_from_bsd_name(session, "disk4");
    const app::DADiskDescription description = disk.copy_description();
    EXPECT_EQ(da.counts().held(), 3u);
  }
  EXPECT_EQ(da.counts().held(), 0u);
  da.disk_release(12345);
  EXPECT_EQ(da.counts().bad_releases, 1u);
}

TEST(Workspace, EjectingAVolumeUnmountsEverySliceOfItsDisk) {
  auto sim = SimFixture::from_json(R"({"disks": [
      {"bsd": "disk4s1", "volume": {"name": "A", "path": "/Volumes/A"}},
      {"bsd": "disk4s2", "volume": {"name": "B", "path": "/Volumes/B"}},
      {"bsd": "disk40s1", "volume": {"name": "C", "path": "/Volumes/C", "eject": "refuse"}}]})");
  EXPECT_TRUE(app::unmount_and_eject_device_at("/Volumes/B"));
  EXPECT_FALSE(app::check_resource_is_reachable("/Volumes/A"));
  EXPECT_FALSE(app::unmount_and_eject_device_at("/Volumes/A")) << "already gone with its disk";
  EXPECT_FALSE(app::unmount_and_eject_device_at("/Volumes/C"));
  EXPECT_TRUE(app::check_resource_is_reachable("/Volumes/C")) << "disk40 is not disk4, and a refusal keeps it";
  EXPECT_EQ(sim.machine().disks().workspace().unmounted(), std::vector<std::string>{"/Volumes/B"});
}

TEST(SimDisks, ListsEachWholeDiskBeforeItsSlices) {
  auto sim = SimFixture::from_json(
      R"({"disks": [{"bsd": "disk4s2"}, {"bsd": "disk7s1"}, {"bsd": "disk4"}, {"bsd": "disk4s1"}, {"bsd": "disk5"}]})");
  EXPECT_EQ(sim.machine().disks().disk_arbitration().bsd_names(),
            (std::vector<std::string>{"disk4", "disk4s2", "disk4s1", "disk5", "disk7s1"}));
}

}  // namespace
}  // namespace berth
