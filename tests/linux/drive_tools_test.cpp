// Drive identification on the live machine's disks: the listing made from a fixture
// sysfs tree through the unit table, the drive tools given real device nodes, and a
// missing tool named once.
#include <gtest/gtest.h>

#include <filesystem>

#include "lib/regctl/drive_identification.h"
#include "platform/linux/linux_drive_tools.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/sim_resources.h"
#include "tests/linux/sysfs_fixture.h"

namespace berth::linux_host {
namespace {

constexpr const char* kDiskUtility = "/usr/sbin/diskutil";

// Records what would have been started.
struct RecordingProcesses final : ProcessesPort {
  std::vector<std::string> launched;
  std::unique_ptr<Task> launch(const std::string& path, std::span<const std::string> arguments) override {
    std::string line = path;
    for (const auto& argument : arguments) line += " " + argument;
    launched.push_back(line);
    return nullptr;
  }
};

class DriveToolsTest : public ::testing::Test {
 protected:
  DriveToolsTest() {
    tree_.add_block_device("sda", 976773168);   // disk0
    tree_.add_block_device("sdc", 3907029168);  // disk2
    tree_.add_block_device("sdl", 2048);        // disk11
    tree_.add_block_device("loop0", 0);         // an unused loop device: no disk
    tree_.add_block_device("nvme0n1", 2048);    // disk224
    tree_.add_block_device("zram0", 2048);      // no unit
  }
  std::string listing() { return tools_.launch(kDiskUtility, std::vector<std::string>{"list"})->read_output(); }

  testing::DriverSysfsTree tree_;
  RecordingProcesses children_;
  LinuxDriveTools tools_{tree_.root(), kDiskUtility, children_};
};

TEST_F(DriveToolsTest, TheListingNamesEveryWholeDiskWithAMediumByItsUnit) {
  const std::string text = listing();
  EXPECT_TRUE(children_.launched.empty());  // answered without a child process
  for (const char* name : {"/dev/disk0 (sda", "/dev/disk2 (sdc", "/dev/disk11 (sdl", "/dev/disk224 (nvme0n1"})
    EXPECT_NE(text.find(name), std::string::npos) << name << " in\n" << text;
  EXPECT_EQ(text.find("disk128"), std::string::npos) << text;
  EXPECT_EQ(text.find("zram"), std::string::npos) << text;
  EXPECT_LT(text.find("/dev/disk2 "), text.find("/dev/disk11 "));  // in unit order
  EXPECT_NE(text.find("*2.0 TB"), std::string::npos) << text;
}

TEST_F(DriveToolsTest, DriveToolsGetTheRealDeviceNode) {
  const struct {
    std::vector<std::string> arguments;
    const char* launched;  // null: refused without starting anything
  } cases[] = {{{"/dev/disk2"}, "/res/Mervo /dev/sdc"},
               {{"/dev/disk2s1"}, "/res/Mervo /dev/sdc1"},
               {{"/dev/disk224"}, "/res/Mervo /dev/nvme0n1"},
               {{"--help"}, "/res/Mervo --help"},
               {{"/dev/disk255"}, nullptr},
               {{"/dev/disk2x"}, nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments[0]);
    children_.launched.clear();
    tools_.launch("/res/Mervo", c.arguments);
    EXPECT_EQ(children_.launched, c.launched ? std::vector<std::string>{c.launched} : std::vector<std::string>{});
  }
}

TEST_F(DriveToolsTest, MissingDriveToolsAreNamedOnceAndNoneRuns) {
  sim::CaptureConsole console;
  sim::SimResources resources;  // its directory holds no drive tool
  resources.set_default_resource_directory("/opt/berthline/resources");
  ScopedServices installed(Services{.console = &console, .resources = &resources, .processes = &tools_});
  Old_Txxx_Nodes = kNoNodesYet;
  EXPECT_EQ(scan_disk_node(0), 0u);
  EXPECT_EQ(gExaminedDisks, (1u << 2) | (1u << 11));
  EXPECT_TRUE(children_.launched.empty());
  EXPECT_EQ(console.err(),
            "drive identification: the drive tools \"Mervo_ltr\" and \"Mervo\" are missing (looked in "
            "/opt/berthline/resources); no drive is identified\n");
}

}  // namespace
}  // namespace berth::linux_host
