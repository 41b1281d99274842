// The register-control driver over a fixture sysfs tree, where a regular file stands in
// for resource5 so that every register access lands at its byte offset in the file; then
// drive identification on the live machine: the disk listing, the tools' device nodes.
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
#include "tests/support/temp_dir.h"

namespace berth::linux_host {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using Scalars = std::vector<std::uint64_t>;

constexpr std::uint64_t kBar = 0x800;

class SysfsDriverTest : public ::testing::Test {
 protected:
  // The dock's SATA controller, 1B21:0612 with subsystem 1AB6:1060 in its config, linked
  // from bus/pci/devices as the kernel links it, and a zeroed BAR5.
  SysfsDriverTest() {
    std::string config(64, '\0');
    testing::write_file(device_dir_ / "config", config.replace(0, 4, "\x21\x1b\x12\x06").replace(0x2c, 4, "\xb6\x1a\x60\x10"));
    testing::write_file(resource_, std::string(kBar, '\0'));
    fs::create_directories(root_ / "bus/pci/devices");
    fs::create_symlink("../../../devices/pci0000:00/0000:05:00.0", root_ / "bus/pci/devices/0000:05:00.0");
  }

  // Opens the first service; the connection, or 0 after a refusal.
  io_connect_t open(SysfsDriver& driver) {
    std::vector<io_object_t> services;
    EXPECT_EQ(driver.get_matching_services(kVantrelRegCtlClass, services), kIOReturnSuccess);
    io_connect_t connection = 0;
    return services.empty() || driver.service_open(services[0], 0, &connection) != kIOReturnSuccess ? 0 : connection;
  }
  kern_return_t call(io_connect_t connection, std::uint32_t selector, const Scalars& in, Scalars& out) {
    out.assign(3, 0);
    std::uint32_t count = 3;
    const kern_return_t status = driver_.call_scalar_method(connection, selector, in, out.data(), &count);
    out.resize(count);
    return status;
  }

  sim::CaptureConsole console_;
  ScopedServices installed_{Services{.console = &console_}};
  testing::TempDir tree_;
  const fs::path& root_ = tree_.path();
  fs::path device_dir_ = root_ / "devices/pci0000:00/0000:05:00.0";
  fs::path resource_ = device_dir_ / "resource5";
  SysfsDriver driver_{root_, {"0000:05:00.0"}};
};

TEST_F(SysfsDriverTest, SelectorsReachBar5LittleEndianOrSysfsAndRefuseOffsetsOutsideIt) {
  testing::write_file(resource_, std::string(0x20, '\0') + "\xEF\xBE\xAD\xDE" + std::string(kBar - 0x24, '\0'));
  const io_connect_t connection = open(driver_);
  ASSERT_NE(connection, 0u) << console_.err();
  const struct {
    std::uint32_t selector;
    Scalars in, out;
    kern_return_t status;
  } cases[] = {{7, {0x20}, {0xDEADBEEF}, 0}, {8, {kBar - 4, 0x11223344}, {}, 0}, {9, {}, {5, 0, 0}, 0},
               {10, {}, {0x1B21, 0x0612}, 0},  {11, {}, {0x1AB6, 0x1060}, 0},         {12, {1}, {}, 0},
               {4, {0, 0}, {}, kIOReturnUnsupported}, {16, {}, {}, kIOReturnUnsupported}};
  Scalars out;
  for (const auto& c : cases) {
    EXPECT_EQ(call(connection, c.selector, c.in, out), c.status) << c.selector;
    EXPECT_EQ(out, c.out) << c.selector;
  }
  EXPECT_EQ(read_file(resource_).substr(kBar - 4), "\x44\x33\x22\x11");
  const std::string before = read_file(resource_);
  const std::uint64_t offsets[] = {kBar - 2, kBar, kBar + 4, 2, std::uint64_t{1} << 40, ~std::uint64_t{0}};
  for (const std::uint64_t offset : offsets) {
    EXPECT_NE(call(connection, 7, {offset}, out), kIOReturnSuccess) << offset;
    EXPECT_TRUE(out.empty()) << offset;
    EXPECT_NE(call(connection, 8, {offset, 0xFFFFFFFF}, out), kIOReturnSuccess) << offset;
  }
  EXPECT_EQ(read_file(resource_), before);  // a refused access touches nothing
  EXPECT_EQ(driver_.service_close(connection), kIOReturnSuccess);
  EXPECT_EQ(driver_.open_connections(), 0u);
  EXPECT_NE(call(connection, 7, {0x20}, out), kIOReturnSuccess);
}

// Each cause from the facts gathered in the fixture tree and the failure of the open
// or the mapping; the user is simulated where the test's own cannot fail. A resource5
// that is not a sysfs attribute is never opened.
TEST_F(SysfsDriverTest, EachRefusalHasItsOwnCause) {
  const char *off = "[none] integrity confidentiality\n", *on = "none [integrity] confidentiality\n";
  const struct {
    const char *lockdown, *driver;
    int error;
    unsigned euid;
    std::optional<Refusal> expected;
  } cases[] = {{nullptr, nullptr, 0, 1000, std::nullopt},        {nullptr, nullptr, EACCES, 1000, Refusal::not_root},
               {on, "ahci", EPERM, 0, Refusal::kernel_lockdown},  {off, "ahci", EINVAL, 0, Refusal::strict_devmem},
               {off, "ahci", EPERM, 0, Refusal::strict_devmem},    {off, "vfio-pci", EINVAL, 0, Refusal::failed},
               {nullptr, nullptr, ENOENT, 0, Refusal::no_such_function}, {nullptr, "ahci", EIO, 0, Refusal::failed}};
  for (const auto& c : cases) {
    fs::remove_all(root_ / "kernel");
    fs::remove(device_dir_ / "driver");
    if (c.lockdown) testing::write_file(root_ / "kernel/security/lockdown", c.lockdown);
    if (c.driver) fs::create_directory_symlink(root_ / "bus/pci/drivers" / c.driver, device_dir_ / "driver");
    AccessFacts facts{.error = c.error, .euid = c.euid};
    gather_kernel_facts(root_, device_dir_, facts);
    EXPECT_EQ(decide_refusal(facts), c.expected) << c.error;
  }
  EXPECT_EQ(decide_refusal({.resource_is_attribute = false, .error = EACCES, .euid = 1000}), Refusal::not_an_attribute);
  for (const char* function : {"0000:06:00.0", "../../../etc", "0000:05:00.0/.."}) {
    SysfsDriver driver(root_, {function});
    EXPECT_EQ(open(driver), 0u) << function;
    EXPECT_EQ(driver.last_refusal(), Refusal::no_such_function) << function;
  }
  const std::pair<const char*, void (*)(const fs::path&)> not_attributes[] = {
      {"link to /dev/mem", [](const fs::path& p) { fs::create_symlink("/dev/mem", p); }},
      {"link to a regular file", [](const fs::path& p) { fs::create_symlink(p.parent_path() / "config", p); }},
      {"device node", [](const fs::path& p) { ASSERT_EQ(::mknod(p.c_str(), S_IFCHR | 0600, makedev(1, 3)), 0); }},
      {"fifo", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }}};
  for (const auto& [what, make] : not_attributes) {
    fs::remove(resource_);
    if (std::string(what) == "device node" && ::geteuid() != 0) continue;  // mknod needs root
    make(resource_);
    EXPECT_EQ(open(driver_), 0u) << what;
    EXPECT_EQ(driver_.last_refusal(), Refusal::not_an_attribute) << what;
  }
  EXPECT_NE(console_.err().find("resource5 of 0000:05:00.0 is a link or not a regular file"), std::string::npos);
}

// Records what would have been started, a line each.
struct RecordingProcesses final : ProcessesPort {
  std::string launched;
  std::unique_ptr<Task> launch(const std::string& path, std::span<const std::string> arguments) override {
    launched += path;
    for (const auto& argument : arguments) launched += " " + argument;
    launched += "\n";
    return nullptr;
  }
};

class DriveToolsTest : public ::testing::Test {
 protected:
  // Whole disks with their sizes in 512-byte sectors; loop0 is unused (no medium), zram0 has no unit.
  DriveToolsTest() {
    for (const auto& [name, sectors] : {std::pair{"sda", "976773168"}, {"sdc", "3907029168"}, {"sdl", "2048"},
                                        {"loop0", "0"}, {"nvme0n1", "2048"}, {"zram0", "2048"}})
      tree_.write("block/" + std::string(name) + "/size", std::string(sectors) + "\n");
  }

  testing::TempDir tree_;
  RecordingProcesses children_;
  LinuxDriveTools tools_{tree_.path(), "/usr/sbin/diskutil", children_};
};

TEST_F(DriveToolsTest, TheListingNamesWholeDisksByUnitAndTheToolsGetTheRealDeviceNode) {
  const std::string text = tools_.launch("/usr/sbin/diskutil", std::vector<std::string>{"list"})->read_output();
  EXPECT_TRUE(children_.launched.empty());  // answered without a child process
  for (const char* name : {"/dev/disk0 (sda", "/dev/disk2 (sdc", "/dev/disk11 (sdl", "/dev/disk224 (nvme0n1", "*2.0 TB"})
    EXPECT_NE(text.find(name), std::string::npos) << name << " in\n" << text;
  EXPECT_EQ(text.find("disk128"), std::string::npos) << text;
  EXPECT_EQ(text.find("zram"), std::string::npos) << text;
  EXPECT_LT(text.find("/dev/disk2 "), text.find("/dev/disk11 "));  // in unit order
  const std::pair<const char*, const char*> cases[] = {  // second: "" when refused without starting anything
      {"/dev/disk2", "/res/Mervo /dev/sdc\n"},        {"/dev/disk2s1", "/res/Mervo /dev/sdc1\n"},
      {"/dev/disk224", "/res/Mervo /dev/nvme0n1\n"},  {"--help", "/res/Mervo --help\n"},
      {"/dev/disk255", ""},                            {"/dev/disk2x", ""}};
  for (const auto& [argument, launched] : cases) {
    children_.launched.clear();
    tools_.launch("/res/Mervo", std::vector<std::string>{argument});
    EXPECT_EQ(children_.launched, launched) << argument;
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
