// The parts of the live backends that run on fixtures: the register-control driver over a
// sysfs tree, drive identification's listing and device nodes, the eject decision, udev
// label escapes, map lines, a disk seen in sysfs, and the table of kernel names and units.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <sstream>

#include "lib/regctl/drive_identification.h"
#include "platform/linux/bar_mapping.h"
#include "platform/linux/eject_decision.h"
#include "platform/linux/linux_drive_tools.h"
#include "platform/linux/live_disks.h"
#include "platform/linux/sysfs_driver.h"
#include "platform/linux/udev_label.h"
#include "platform/linux/unit_table.h"
#include "platform/linux/volume_holders.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/sim_resources.h"
#include "tests/support/temp_dir.h"

namespace berth::linux_host {
namespace {

namespace fs = std::filesystem;
using Scalars = std::vector<std::uint64_t>;

constexpr std::uint64_t kBar = 0x800;

class SysfsDriverTest : public ::testing::Test {
 protected:
  // The dock's SATA controller, 1B21:0612 with subsystem 1AB6:1060 in its config, linked
  // from bus/pci/devices as the kernel links it, and a zeroed BAR5: a regular file, so
  // that every register access lands at its byte offset in the file.
  SysfsDriverTest() {
    std::string config(64, '\0');
    config.replace(0, 4, "\x21\x1b\x12\x06").replace(0x2c, 4, "\xb6\x1a\x60\x10");
    testing::write_file(device_dir_ / "config", config);
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
  // A selector's status and outputs.
  std::pair<kern_return_t, Scalars> call(io_connect_t connection, std::uint32_t selector, const Scalars& in) {
    Scalars out(3, 0);
    std::uint32_t count = 3;
    const kern_return_t status = driver_.call_scalar_method(connection, selector, in, out.data(), &count);
    out.resize(count);
    return {status, out};
  }

  sim::CaptureConsole console_;
  ScopedServices installed_{Services{.console = &console_}};
  testing::TempDir tree_;
  const fs::path& root_ = tree_.path();
  fs::path device_dir_ = root_ / "devices/pci0000:00/0000:05:00.0";
  fs::path resource_ = device_dir_ / "resource5";
  SysfsDriver driver_{root_, {"0000:05:00.0"}};
};

// BAR5 as the kernel lists it: not on a page boundary, which moves it within a mapping of
// sysfs but not within a plain file standing in for one.
const std::string kResource = [] {
  std::string lines;
  for (int bar = 0; bar < 5; ++bar) lines += "0x0000000000000000 0x0000000000000000 0x0000000000000000\n";
  return lines + "0x00000000f7d10a00 0x00000000f7d10bff 0x0000000000040200\n";
}();

TEST(BarPageOffset, IsWhereTheBarStartsInItsPage) {
  EXPECT_EQ(bar_page_offset(kResource, 5, 4096), 0xa00u);
  EXPECT_EQ(bar_page_offset(kResource, 5, 65536), 0xa00u);
  EXPECT_EQ(bar_page_offset(kResource, 4, 4096), 0u);
  for (const char* bad : {"", "0x00000000f7d10a00", "f7d10a00 0 0\n", "0xzz 0 0\n"}) EXPECT_EQ(bar_page_offset(bad, 5, 4096), 0u);
}

TEST_F(SysfsDriverTest, SelectorsReachBar5LittleEndianOrSysfsAndRefuseOffsetsOutsideIt) {
  testing::write_file(device_dir_ / "resource", kResource);
  testing::write_file(resource_, std::string(0x20, '\0') + "\xEF\xBE\xAD\xDE" + std::string(kBar - 0x24, '\0'));
  const io_connect_t connection = open(driver_);
  ASSERT_NE(connection, 0u) << console_.err();
  const struct { std::uint32_t selector; Scalars in, out; kern_return_t status; } cases[] = {
      {7, {0x20}, {0xDEADBEEF}, 0},   {8, {kBar - 4, 0x11223344}, {}, 0}, {9, {}, {5, 0, 0}, 0},
      {10, {}, {0x1B21, 0x0612}, 0},  {11, {}, {0x1AB6, 0x1060}, 0},     {12, {1}, {}, 0},
      {4, {0, 0}, {}, kIOReturnUnsupported}, {16, {}, {}, kIOReturnUnsupported}};
  for (const auto& c : cases) EXPECT_EQ(call(connection, c.selector, c.in), std::pair(c.status, c.out)) << c.selector;
  for (const std::uint64_t offset : Scalars{kBar - 2, kBar, kBar + 4, 2, std::uint64_t{1} << 40, ~std::uint64_t{0}}) {
    const auto [status, out] = call(connection, 7, {offset});
    EXPECT_TRUE(status != kIOReturnSuccess && out.empty()) << offset;
    EXPECT_NE(call(connection, 8, {offset, 0xFFFFFFFF}).first, kIOReturnSuccess) << offset;
  }
  EXPECT_EQ(testing::read_file(resource_),  // selector 8's value at kBar - 4; refused accesses touch nothing
            std::string(0x20, '\0') + "\xEF\xBE\xAD\xDE" + std::string(kBar - 0x28, '\0') + "\x44\x33\x22\x11");
  EXPECT_EQ(driver_.service_close(connection), kIOReturnSuccess);
  EXPECT_EQ(driver_.open_connections(), 0u);
  EXPECT_NE(call(connection, 7, {0x20}).first, kIOReturnSuccess);
}

// Each cause from the facts gathered in the fixture tree and the failure of the open or the mapping; the user is
// simulated where the test's own cannot fail. A resource5 that is not a sysfs attribute is never opened.
TEST_F(SysfsDriverTest, EachRefusalHasItsOwnCause) {
  const char *off = "[none] integrity confidentiality\n", *on = "none [integrity] confidentiality\n";
  const struct { const char *lockdown, *driver; int error; unsigned euid; std::optional<Refusal> cause; } cases[] = {
      {nullptr, nullptr, 0, 1000, std::nullopt},          {nullptr, nullptr, EACCES, 1000, Refusal::not_root},
      {on, "ahci", EPERM, 0, Refusal::kernel_lockdown},    {off, "ahci", EINVAL, 0, Refusal::strict_devmem},
      {off, "ahci", EPERM, 0, Refusal::strict_devmem},     {off, "vfio-pci", EINVAL, 0, Refusal::failed},
      {nullptr, nullptr, ENOENT, 0, Refusal::no_such_function}, {nullptr, "ahci", EIO, 0, Refusal::failed}};
  for (const auto& c : cases) {
    fs::remove_all(root_ / "kernel");
    fs::remove(device_dir_ / "driver");
    if (c.lockdown) testing::write_file(root_ / "kernel/security/lockdown", c.lockdown);
    if (c.driver) fs::create_directory_symlink(root_ / "bus/pci/drivers" / c.driver, device_dir_ / "driver");
    AccessFacts facts{.error = c.error, .euid = c.euid};
    gather_kernel_facts(root_, device_dir_, facts);
    EXPECT_EQ(decide_refusal(facts), c.cause) << c.error;
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
  const std::string err = console_.err(), line = "resource5 of 0000:05:00.0 is a link or not a regular file";
  EXPECT_NE(err.find(line), std::string::npos);
  EXPECT_EQ(err.find(line), err.rfind(line)) << "one refusal, said once: " << err;
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

// The listing answered from sysfs through the unit table, in unit order and without a
// child process; the drive tools given real device nodes; missing tools named once.
TEST(DriveTools, TheListingNamesWholeDisksByUnitAndTheToolsGetTheRealDeviceNode) {
  const testing::TempDir tree;  // sizes in 512-byte sectors; loop0 has no medium, zram0 no unit
  for (const auto& [name, sectors] : {std::pair{"sda", "976773168"}, {"sdc", "3907029168"}, {"sdl", "2048"},
                                      {"loop0", "0"}, {"nvme0n1", "2048"}, {"zram0", "2048"}})
    tree.write("block/" + std::string(name) + "/size", std::string(sectors) + "\n");
  RecordingProcesses children;
  LinuxDriveTools tools(tree.path(), "/usr/sbin/diskutil", children);
  const std::string text = tools.launch("/usr/sbin/diskutil", std::vector<std::string>{"list"})->read_output();
  std::istringstream lines(text);
  std::string disks;  // each entry's "/dev/diskN (name"
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with("/dev/")) disks += line.substr(0, line.find(',')) + " ";
  EXPECT_EQ(disks, "/dev/disk0 (sda /dev/disk2 (sdc /dev/disk11 (sdl /dev/disk224 (nvme0n1 ") << text;
  EXPECT_NE(text.find("*2.0 TB"), std::string::npos) << text;
  EXPECT_EQ(children.launched, "");
  const std::pair<const char*, const char*> cases[] = {  // second: "" when refused without starting anything
      {"/dev/disk2", "/res/Mervo /dev/sdc\n"},        {"/dev/disk2s1", "/res/Mervo /dev/sdc1\n"},
      {"/dev/disk224", "/res/Mervo /dev/nvme0n1\n"},  {"--help", "/res/Mervo --help\n"},
      {"/dev/disk255", ""},                            {"/dev/disk2x", ""}};
  for (const auto& [argument, launched] : cases) {
    children.launched.clear();
    tools.launch("/res/Mervo", std::vector<std::string>{argument});
    EXPECT_EQ(children.launched, launched) << argument;
  }
  sim::CaptureConsole console;
  sim::SimResources resources;  // its directory holds no drive tool
  resources.set_default_resource_directory("/opt/berthline/resources");
  ScopedServices installed(Services{.console = &console, .resources = &resources, .processes = &tools});
  Old_Txxx_Nodes = kNoNodesYet;
  EXPECT_EQ(scan_disk_node(0), 0u);
  EXPECT_EQ(gExaminedDisks, (1u << 2) | (1u << 11));
  EXPECT_EQ(children.launched, "");
  EXPECT_EQ(console.err(),
            "drive identification: the drive tools \"Mervo_ltr\" and \"Mervo\" are missing (looked in "
            "/opt/berthline/resources); no drive is identified\n");
}

TEST(EjectDecision, PowersOffWhatCanBeEjectsRemovableMediaAndOtherwiseOnlyUnmounts) {
  using enum DriveAction;
  // has_drive, can_power_off, ejectable, has_siblings
  const std::pair<DriveFacts, DriveAction> cases[] = {
      {{false, false, false, false}, unmount_only},  // a loop device: no drive
      {{true, false, false, false}, unmount_only}, {{true, true, false, false}, power_off},
      {{true, true, true, false}, power_off},       {{true, false, true, false}, eject},
      {{true, true, true, true}, eject},  // one slot of a card reader
      {{true, true, false, true}, unmount_only}};
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(drive_action(cases[i].first), cases[i].second) << i;
}

TEST(LineParsers, UdevLabelEscapesAreDecodedAndAMapLineGivesTheDeviceOfItsFile) {
  EXPECT_EQ(decode_udev_escapes("a\\x2fb\\x5c"), "a/b\\");
  EXPECT_EQ(decode_udev_escapes("50\\%\\x2"), "50\\%\\x2");
  EXPECT_EQ(map_line_device("7f1c-7f1d r-xp 00000000 07:1a 1234   /media/root/A B/lib.so"), makedev(7, 0x1a));
  EXPECT_EQ(map_line_device("7ffd-7ffe rw-p 00000000 00:00 0      [stack]"), makedev(0, 0));
  EXPECT_EQ(map_line_device("garbage"), makedev(0, 0));
}

TEST(LiveDisksSysfs, AFixtureTreeGivesNamesAndTheDrivesVendorAndModel) {
  const testing::TempDir root;
  for (const auto& [file, text] : {std::pair{"block/sdc/dev", "8:32\n"}, {"block/sdc/device/vendor", "ATA     \n"},
                                   {"block/sdc/device/model", "Samsung SSD 860 \n"}, {"block/sdc/sdc1/dev", "8:33\n"},
                                   {"block/sdc/sdc1/partition", "1\n"}, {"block/loop5/dev", "7:5\n"},  // no medium
                                   {"block/dm-0/dev", "253:0\n"}})                                     // no unit
    root.write(file, text);
  LiveDisks disks(root.path(), root / "no-mountinfo", [](dev_t) { return std::optional<std::string>("Label"); });
  EXPECT_EQ(disks.bsd_names(), (std::vector<std::string>{"disk2", "disk2s1"}));
  const da_handle_t session = disks.session_create();
  const da_handle_t slice = disks.disk_create_from_bsd_name(session, "/dev/disk2s1");
  const da_handle_t description = disks.disk_copy_description(slice);
  EXPECT_EQ(disks.description_value(description, DiskDescriptionKey::media_name), "ATA Samsung SSD 860");
  EXPECT_EQ(disks.description_value(description, DiskDescriptionKey::volume_name), "Label");
  EXPECT_EQ(disks.description_value(description, DiskDescriptionKey::volume_path), std::nullopt);
  EXPECT_EQ(disks.disk_create_from_bsd_name(session, "disk133"), 0u) << "loop5, unattached";
  EXPECT_EQ(disks.disk_create_from_bsd_name(session, "disk2s2"), 0u);
  disks.description_release(description);
  disks.disk_release(slice);
  disks.session_release(session);
  EXPECT_EQ(disks.held(), 0u);
}

std::string bsd_of(std::optional<BsdUnit> unit) { return unit ? bsd_name(*unit) : "none"; }

TEST(UnitTable, MapsKernelNamesAndUnitsBothWaysAndRefusesTheRest) {
  const std::pair<const char*, const char*> cases[] = {
      {"sda", "disk0"},          {"sdz", "disk25"},         {"sdaa", "disk26"},         {"sdc1", "disk2s1"},
      {"sdaz12", "disk51s12"},   {"sddx", "disk127"},       {"sddy", "disk1128"},       {"loop0", "disk128"},
      {"loop0p2", "disk128s2"},  {"loop63", "disk191"},     {"loop64", "disk100064"},   {"sr0", "disk192"},
      {"sr31", "disk223"},       {"sr32", "disk200032"},    {"nvme0n1", "disk224"},     {"nvme0n1p3", "disk224s3"},
      {"nvme30n1", "disk254"},   {"nvme31n1", "disk331001"}, {"nvme0n2p1", "disk300002s1"}};
  for (const auto& [kernel, bsd] : cases) {
    EXPECT_EQ(bsd_of(unit_of_kernel_name(kernel)), bsd) << kernel;
    const auto unit = parse_bsd_name(std::string("/dev/") + bsd);
    EXPECT_EQ(bsd_of(unit), bsd);
    EXPECT_EQ(unit ? kernel_name_of_unit(*unit) : std::nullopt, kernel) << bsd;
  }
  for (const char* name : {"sd", "sda0", "sdA", "sda01", "loop", "loop1p", "loop01", "sr0p1", "nvme0", "nvme0n0",
                           "nvme0n1p0", "vda", "dm-0", "md0", "mmcblk0", ""})
    EXPECT_FALSE(unit_of_kernel_name(name)) << name;
  // 255 is "no disk" and units between the ranges belong to no device; optical drives have no partitions.
  for (const BsdUnit unit : {BsdUnit{255}, {256}, {999}, {1127}, {300000}, {301001}, {192, 1}})
    EXPECT_FALSE(kernel_name_of_unit(unit)) << unit.unit;
  for (const char* name : {"disk", "disk1s", "disk1s0", "disk01", "disk-1", "disks1", "disk1x", "sda"})
    EXPECT_FALSE(parse_bsd_name(name)) << name;
}

}  // namespace
}  // namespace berth::linux_host
