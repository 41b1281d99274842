#include "lib/regctl/regctl_interface.h"

#include <array>
#include <initializer_list>
#include <span>

#include "platform/services.h"

namespace berth {
namespace {

// Selectors of the register-control driver.
enum Selector : std::uint32_t {
  kSelOpen = 0,
  kSelClose = 1,
  kSelScalarIStructureI = 2,
  kSelScalarIStructureO = 3,
  kSelScalarIScalarO = 4,
  kSelStructureIStructureO = 5,
  kSelStop = 6,
  kSelBar5Read = 7,
  kSelBar5Write = 8,
  kSelBusDevFun = 9,
  kSelVidDid = 10,
  kSelSubVidDid = 11,
  kSelDelay = 12,
  kSelRaidDbg = 15,
  kSelRaidGuiCmd = 16,
};

// With no driver installed every call fails as a call to a missing service would.
template <std::size_t N>
kern_return_t scalar_call(io_connect_t connect, Selector selector, std::initializer_list<std::uint64_t> in,
                          std::array<std::uint64_t, N>& out) {
  DriverPort* driver = services().driver;
  if (driver == nullptr) return kIOReturnError;
  std::uint32_t count = N;
  return driver->call_scalar_method(connect, selector, {in.begin(), in.size()}, out.data(), &count);
}

kern_return_t scalar_call(io_connect_t connect, Selector selector, std::initializer_list<std::uint64_t> in) {
  std::array<std::uint64_t, 0> none{};
  return scalar_call(connect, selector, in, none);
}

kern_return_t method_call(io_connect_t connect, Selector selector, std::initializer_list<std::uint64_t> in,
                          std::span<const std::uint8_t> struct_in, std::uint64_t* out_size, void* out) {
  DriverPort* driver = services().driver;
  if (driver == nullptr) return kIOReturnError;
  std::size_t size = out_size ? static_cast<std::size_t>(*out_size) : 0;
  const kern_return_t status =
      driver->call_method(connect, selector, {in.begin(), in.size()}, struct_in, nullptr, nullptr, out, &size);
  if (out_size) *out_size = size;
  return status;
}

std::span<const std::uint8_t> bytes_of(const void* data, std::uint64_t size) {
  return {static_cast<const std::uint8_t*>(data), data ? static_cast<std::size_t>(size) : 0};
}

void store(std::uint32_t* target, std::uint64_t value) {
  if (target) *target = static_cast<std::uint32_t>(value);
}

}  // namespace

kern_return_t MyOpenUserClient(io_connect_t connect) { return scalar_call(connect, kSelOpen, {}); }

kern_return_t MyCloseUserClient(io_connect_t connect) { return scalar_call(connect, kSelClose, {}); }

kern_return_t MyScalarIStructureI(io_connect_t connect, std::uint32_t scalar, std::uint64_t struct_size,
                                  const void* structure) {
  return method_call(connect, kSelScalarIStructureI, {scalar}, bytes_of(structure, struct_size), nullptr, nullptr);
}

kern_return_t MyScalarIStructureO(io_connect_t connect, std::uint32_t scalar1, std::uint32_t scalar2,
                                  std::uint64_t* struct_size, void* structure) {
  return method_call(connect, kSelScalarIStructureO, {scalar1, scalar2}, {}, struct_size, structure);
}

kern_return_t MyScalarIScalarO(io_connect_t connect, std::uint32_t scalar1, std::uint32_t scalar2,
                               std::uint32_t* result) {
  std::array<std::uint64_t, 1> out{};
  const kern_return_t status = scalar_call(connect, kSelScalarIScalarO, {scalar1, scalar2}, out);
  store(result, out[0]);
  return status;
}

kern_return_t MyStructureIStructureO(io_connect_t connect, std::uint64_t in_size, const void* in,
                                     std::uint64_t* out_size, void* out) {
  return method_call(connect, kSelStructureIStructureO, {}, bytes_of(in, in_size), out_size, out);
}

kern_return_t MyStop(io_connect_t connect, std::uint32_t scalar1, std::uint32_t scalar2, std::uint32_t* result) {
  std::array<std::uint64_t, 1> out{};
  const kern_return_t status = scalar_call(connect, kSelStop, {scalar1, scalar2}, out);
  store(result, out[0]);
  return status;
}

kern_return_t My_BAR5_ioRead32(io_connect_t connect, std::uint16_t offset, std::uint32_t* value) {
  std::array<std::uint64_t, 1> out{};
  const kern_return_t status = scalar_call(connect, kSelBar5Read, {offset}, out);
  store(value, out[0]);
  return status;
}

kern_return_t My_BAR5_ioWrite32(io_connect_t connect, sDevice*, std::uint16_t offset, std::uint32_t value) {
  return scalar_call(connect, kSelBar5Write, {offset, value});
}

kern_return_t My_get_bus_dev_fun_num(io_connect_t connect, std::uint32_t* bus, std::uint32_t* dev, std::uint32_t* fun) {
  std::array<std::uint64_t, 3> out{};
  const kern_return_t status = scalar_call(connect, kSelBusDevFun, {}, out);
  store(bus, out[0]);
  store(dev, out[1]);
  store(fun, out[2]);
  return status;
}

kern_return_t My_get_vid_did(io_connect_t connect, std::uint32_t* vid, std::uint32_t* did) {
  std::array<std::uint64_t, 2> out{};
  const kern_return_t status = scalar_call(connect, kSelVidDid, {}, out);
  store(vid, out[0]);
  store(did, out[1]);
  return status;
}

kern_return_t My_get_sub_vid_did(io_connect_t connect, std::uint32_t* sub_vid, std::uint32_t* sub_did) {
  std::array<std::uint64_t, 2> out{};
  const kern_return_t status = scalar_call(connect, kSelSubVidDid, {}, out);
  store(sub_vid, out[0]);
  store(sub_did, out[1]);
  return status;
}

kern_return_t My_IODelay(io_connect_t connect, std::uint32_t delay) { return scalar_call(connect, kSelDelay, {delay}); }

kern_return_t gui_VantrelRAID_dbg(io_connect_t connect, void*, std::uint16_t value1, std::uint32_t value2) {
  return scalar_call(connect, kSelRaidDbg, {value1, value2});
}

kern_return_t gui_VantrelRAID_gui_cmd(io_connect_t connect, std::uint64_t in_size, const void* in,
                                      std::uint64_t* out_size, void* out) {
  return method_call(connect, kSelRaidGuiCmd, {}, bytes_of(in, in_size), out_size, out);
}

}  // namespace berth
