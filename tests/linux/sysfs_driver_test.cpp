// The register-control driver over a fixture sysfs tree: a regular file stands in for
// resource5, so every register access lands at its byte offset in the file.
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "platform/linux/sysfs_driver.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "tests/linux/sysfs_fixture.h"

namespace berth::linux_host {
namespace {

namespace fs = std::filesystem;
using testing::DriverSysfsTree;

constexpr const char* kDock = "0000:05:00.0";
constexpr std::uint64_t kBar = 0x800;

class SysfsDriverTest : public ::testing::Test {
 protected:
  SysfsDriverTest() : device_dir_(tree_.add_function(kDock, kBar)) {}

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
  DriverSysfsTree tree_;
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
  EXPECT_EQ(tree_.read(device_dir_ / "resource5").substr(kBar - 4), "\x44\x33\x22\x11");
  EXPECT_EQ(driver_.service_close(connection), kIOReturnSuccess);
  EXPECT_EQ(driver_.open_connections(), 0u);
  EXPECT_NE(call(driver_, connection, 7, {0x20}, out), kIOReturnSuccess);  // closed
}

TEST_F(SysfsDriverTest, OffsetsOutsideTheBarOrMisalignedAreRefusedAndTouchNothing) {
  const io_connect_t connection = open(driver_);
  ASSERT_NE(connection, 0u) << console_.err();
  const std::string before = tree_.read(device_dir_ / "resource5");
  const std::uint64_t offsets[] = {kBar - 2, kBar, kBar + 4, 2, std::uint64_t{1} << 40, ~std::uint64_t{0}};
  for (const std::uint64_t offset : offsets) {
    SCOPED_TRACE(offset);
    std::vector<std::uint64_t> out;
    EXPECT_NE(call(driver_, connection, 7, {offset}, out), kIOReturnSuccess);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(call(driver_, connection, 8, {offset, 0xFFFFFFFF}, out), kIOReturnSuccess);
  }
  EXPECT_EQ(tree_.read(device_dir_ / "resource5"), before);
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
    if (c.lockdown) tree_.write("kernel/security/lockdown", c.lockdown);
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

}  // namespace
}  // namespace berth::linux_host
