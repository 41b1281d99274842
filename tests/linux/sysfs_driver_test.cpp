// The register-control driver over a fixture sysfs tree: a regular file stands in for
// resource5, so every register access lands at its byte offset in the file. Then drive
// identification on the live machine's disks: the listing made from a fixture tree
// through the unit table, the drive tools given real device nodes, and a missing tool
// named once.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "lib/regctl/drive_identification.h"
#include "platform/linux/linux_drive_tools.h"
#include "platform/linux/sysfs_driver.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/sim_resources.h"
#include "tests/linux/sysfs_tree.h"

namespace berth::linux_host {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDock = "0000:05:00.0";
constexpr std::uint64_t kBar = 0x800;

class SysfsDriverTest : public ::testing::Test {
 protected:
  // The dock's SATA controller, 1B21:0612 with subsystem 1AB6:1060, and a zeroed BAR5.
  SysfsDriverTest() : device_dir_(tree_.pci({}, 5, 0, 0x1B210612, 0x010601, -1, 0x1AB61060)) {
    tree_.write(device_dir_ / "resource5", std::string(kBar, '\0'));
  }

  // Opens the first service; the connection, or 0 after a refusal.
  io_connect_t open(SysfsDriver& driver) {
    std::vector<io_object_t> services;
    EXPECT_EQ(driver.get_matching_services(kVantrelRegCtlClass, services), kIOReturnSuccess);
    io_connect_t connection = 0;
    return services.empty() || driver.service_open(services[0], 0, &connection) != kIOReturnSuccess ? 0 : connection;
  }
  kern_return_t call(SysfsDriver& driver, io_connect_t connection, std::uint32_t selector,
                     std::vector<std::uint64_t> in, std::vector<std::uint64_t>& out) {
    out.assign(3, 0);
    std::uint32_t count = 3;
    const kern_return_t status = driver.call_scalar_method(connection, selector, in, out.data(), &count);
    out.resize(count);
    return status;
  }

  sim::CaptureConsole console_;
  ScopedServices installed_{Services{.console = &console_}};
  testing::SysfsTree tree_;
  fs::path device_dir_;
  SysfsDriver driver_{tree_.root(), {kDock}};
};

TEST_F(SysfsDriverTest, RegistersAreTheBar5BytesLittleEndian) {
  tree_.write(device_dir_ / "resource5", std::string(0x20, '\0') + "\xEF\xBE\xAD\xDE" + std::string(kBar - 0x24, '\0'));
  const io_connect_t connection = open(driver_);
  ASSERT_NE(connection, 0u) << console_.err();
  std::vector<std::uint64_t> out;
  EXPECT_EQ(call(driver_, connection, 7, {0x20}, out), kIOReturnSuccess);
  EXPECT_EQ(out, std::vector<std::uint64_t>{0xDEADBEEF});
  EXPECT_EQ(call(driver_, connection, 8, {kBar - 4, 0x11223344}, out), kIOReturnSuccess);
  EXPECT_EQ(testing::read_file(device_dir_ / "resource5").substr(kBar - 4), "\x44\x33\x22\x11");
  EXPECT_EQ(driver_.service_close(connection), kIOReturnSuccess);
  EXPECT_EQ(driver_.open_connections(), 0u);
  EXPECT_NE(call(driver_, connection, 7, {0x20}, out), kIOReturnSuccess);  // closed
}

TEST_F(SysfsDriverTest, OffsetsOutsideTheBarOrMisalignedAreRefusedAndTouchNothing) {
  const io_connect_t connection = open(driver_);
  ASSERT_NE(connection, 0u) << console_.err();
  const std::string before = testing::read_file(device_dir_ / "resource5");
  const std::uint64_t offsets[] = {kBar - 2, kBar, kBar + 4, 2, std::uint64_t{1} << 40, ~std::uint64_t{0}};
  for (const std::uint64_t offset : offsets) {
    SCOPED_TRACE(offset);
    std::vector<std::uint64_t> out;
    EXPECT_NE(call(driver_, connection, 7, {offset}, out), kIOReturnSuccess);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(call(driver_, connection, 8, {offset, 0xFFFFFFFF}, out), kIOReturnSuccess);
  }
  EXPECT_EQ(testing::read_file(device_dir_ / "resource5"), before);
}

TEST_F(SysfsDriverTest, IdentityComesFromTheAddressAndConfig) {
  const io_connect_t connection = open(driver_);
  ASSERT_NE(connection, 0u) << console_.err();
  const struct {
    std::uint32_t selector;
    std::vector<std::uint64_t> in, out;
    kern_return_t status;
  } cases[] = {{9, {}, {5, 0, 0}, 0},        {10, {}, {0x1B21, 0x0612}, 0}, {11, {}, {0x1AB6, 0x1060}, 0},
               {12, {1}, {}, 0},             {4, {0, 0}, {}, kIOReturnUnsupported},
               {16, {}, {}, kIOReturnUnsupported}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.selector);
    std::vector<std::uint64_t> out;
    EXPECT_EQ(call(driver_, connection, c.selector, c.in, out), c.status);
    EXPECT_EQ(out, c.out);
  }
}

TEST_F(SysfsDriverTest, AResourceThatIsNotASysfsAttributeIsNeverOpened) {
  const struct {
    const char* what;
    void (*make)(const fs::path&);
  } cases[] = {
      {"link to /dev/mem", [](const fs::path& p) { fs::create_symlink("/dev/mem", p); }},
      {"link to a regular file", [](const fs::path& p) { fs::create_symlink(p.parent_path() / "config", p); }},
      {"device node", [](const fs::path& p) { ASSERT_EQ(::mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)), 0); }},
      {"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(device_dir_ / "resource5");
    if (std::string(c.what) == "device node" && ::geteuid() != 0) continue;  // mknod needs root
    c.make(device_dir_ / "resource5");
    EXPECT_EQ(open(driver_), 0u);
    EXPECT_EQ(driver_.last_refusal(), Refusal::not_an_attribute);
  }
  EXPECT_NE(console_.err().find("resource5 of 0000:05:00.0 is a link or not a regular file"), std::string::npos);
}

TEST_F(SysfsDriverTest, AnUnreadableResourceTellsANonRootUserToRunAsRoot) {
  if (::geteuid() == 0) GTEST_SKIP() << "root opens a file of mode 000";
  fs::permissions(device_dir_ / "resource5", fs::perms::none);
  EXPECT_EQ(open(driver_), 0u);
  EXPECT_EQ(driver_.last_refusal(), Refusal::not_root);
  EXPECT_NE(console_.err().find("run as root"), std::string::npos) << console_.err();
}

// Each cause from the facts gathered in the fixture tree and the failure of the open
// or the mapping; the user is simulated where the test's own cannot fail.
TEST_F(SysfsDriverTest, EachRefusalHasItsOwnCause) {
  const struct {
    const char* lockdown;
    const char* driver;
    int error;
    unsigned euid;
    std::optional<Refusal> expected;
  } cases[] = {
      {nullptr, nullptr, 0, 1000, std::nullopt},
      {nullptr, nullptr, EACCES, 1000, Refusal::not_root},
      {"none [integrity] confidentiality\n", "ahci", EPERM, 0, Refusal::kernel_lockdown},
      {"[none] integrity confidentiality\n", "ahci", EINVAL, 0, Refusal::strict_devmem},
      {"[none] integrity confidentiality\n", "ahci", EPERM, 0, Refusal::strict_devmem},
      {"[none] integrity confidentiality\n", "vfio-pci", EINVAL, 0, Refusal::failed},
      {nullptr, nullptr, ENOENT, 0, Refusal::no_such_function},
      {nullptr, "ahci", EIO, 0, Refusal::failed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    fs::remove_all(tree_.root() / "kernel");
    fs::remove(device_dir_ / "driver");
    if (c.lockdown) tree_.write(tree_.root() / "kernel/security/lockdown", c.lockdown);
    if (c.driver) fs::create_directory_symlink(tree_.root() / "bus/pci/drivers" / c.driver, device_dir_ / "driver");
    AccessFacts facts{.error = c.error, .euid = c.euid};
    gather_kernel_facts(tree_.root(), device_dir_, facts);
    EXPECT_EQ(decide_refusal(facts), c.expected);
  }
  for (const char* function : {"0000:06:00.0", "../../../etc", "0000:05:00.0/.."}) {
    SysfsDriver driver(tree_.root(), {function});
    EXPECT_EQ(open(driver), 0u) << function;
    EXPECT_EQ(driver.last_refusal(), Refusal::no_such_function) << function;
  }
  EXPECT_EQ(decide_refusal({.resource_is_attribute = false, .error = EACCES, .euid = 1000}), Refusal::not_an_attribute);
}

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
  // Whole disks with their sizes in 512-byte sectors; loop0 is unused (no medium), zram0 has no unit.
  DriveToolsTest() {
    for (const auto& [name, sectors] : {std::pair{"sda", "976773168"}, {"sdc", "3907029168"}, {"sdl", "2048"},
                                        {"loop0", "0"}, {"nvme0n1", "2048"}, {"zram0", "2048"}})
      tree_.write(tree_.root() / "block" / name / "size", std::string(sectors) + "\n");
  }
  std::string listing() { return tools_.launch(kDiskUtility, std::vector<std::string>{"list"})->read_output(); }

  testing::SysfsTree tree_;
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
