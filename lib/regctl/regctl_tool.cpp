#include "lib/regctl/regctl_tool.h"

#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/window_access.h"
#include "platform/services.h"

namespace berth {
namespace {

constexpr std::uint32_t kIndexAccessEnable = 0x06000000;
constexpr std::uint32_t kLastDumpedIndex = 0xFFFFC;

bool needs_index_enable(std::uint32_t did) { return did == 0x9123 || did == 0x9125 || did == 0x9128; }

}  // namespace

kern_return_t __My_BAR5_ioWrite32(io_connect_t connect, sDevice* dev, std::uint16_t offset, std::uint32_t value) {
  if (dev == nullptr) return kIOReturnError;
  if (offset == M9182_BAR5_INDEX && needs_index_enable(dev->DID)) value |= kIndexAccessEnable;
  return My_BAR5_ioWrite32(connect, dev, offset, value);
}

kern_return_t MyUserClientOpenExample(io_object_t service, io_connect_t* connect) {
  DriverPort* driver = services().driver;
  if (driver == nullptr) return kIOReturnError;
  const kern_return_t status = driver->service_open(service, 0, connect);
  if (status != kIOReturnSuccess) return status;
  return MyOpenUserClient(*connect);
}

void MyUserClientCloseExample(io_connect_t connect) {
  if (DriverPort* driver = services().driver) driver->service_close(connect);
}

kern_return_t run_on_record_service(sDevice* dev, const char* name, const std::function<bool(io_connect_t)>& operation,
                                    bool report_failure) {
  io_connect_t connect = 0;
  bool ok = false;
  if (MyUserClientOpenExample(dev->service, &connect) != kIOReturnSuccess || connect == 0) {
    err_printf("%s Err2\n", name);
  } else {
    ok = operation(connect);
    if (!ok && report_failure) err_printf("%s Err1\n", name);
  }
  if (connect != 0) MyUserClientCloseExample(connect);
  return ok ? kIOReturnSuccess : kIOReturnError;
}

void MyScalarIStructureIExample(io_connect_t connect) {
  const SampleRecord record{586, 8756};
  MyScalarIStructureI(connect, 15, sizeof record, &record);
}

void MyScalarIStructureOExample(io_connect_t connect) {
  SampleRecord record{};
  std::uint64_t size = sizeof record;
  MyScalarIStructureO(connect, 154, 863, &size, &record);
}

void MyStructureIStructureOExample(io_connect_t connect) {
  const SampleRecord in{586, 8756};
  SampleRecord out{};
  std::uint64_t size = sizeof out;
  MyStructureIStructureO(connect, sizeof in, &in, &size, &out);
}

void MyLaunchConsoleApp() {
  if (LauncherPort* launcher = services().launcher) launcher->open_application(kConsoleAppPath);
}

bool dump_BAR5_A8(io_connect_t connect, sDevice* dev) {
  for (std::uint32_t index = 0; index <= kLastDumpedIndex; index += 4) {
    std::uint32_t value = 0;
    __My_BAR5_ioWrite32(connect, dev, M9182_BAR5_INDEX, index);
    My_BAR5_ioRead32(connect, M9182_BAR5_DATA, &value);
    if (value != 0 && value != 1) write_out(format("(Addr,Val)=(%04x,%08x)\n", index, value));
  }
  write_out("dump_BAR5_A8 done\n");
  return true;
}

}  // namespace berth
