#include "platform/sim/sim_driver.h"

#include <algorithm>
#include <cstring>

#include "platform/driver_trace.h"
#include "platform/services.h"

namespace berth::sim {
namespace {

constexpr kern_return_t kBadArgument = 0xE00002C2;
constexpr kern_return_t kNotOpen = 0xE00002CD;
constexpr kern_return_t kNoSuchService = 0xE00002C0;

// The selector-4 exchange: (0, 0) asks for the port injector's state, (1, 0) injects
// the ports (from state 0, or again from the stale state 2) and (0, 1) activates them.
constexpr std::uint32_t kInjectorInjected = 1;
constexpr std::uint32_t kInjectorStale = 2;
constexpr std::uint32_t kInjectorActive = 3;

// Copies the input structure back, as far as the output has room.
kern_return_t echo_structure(std::span<const std::uint8_t> in, void* out, std::size_t room, std::size_t& size) {
  if (out == nullptr) return kBadArgument;
  size = std::min(in.size(), room);
  if (size > 0) std::memcpy(out, in.data(), size);
  return kIOReturnSuccess;
}

}  // namespace

SimDriver::SimDriver(const DriverConfig& config) : matching_status_(config.matching_status) {
  for (const auto& service : config.services)
    services_.push_back({service, std::make_unique<SimController>(service), service.injector_state, 0, 0});
}

kern_return_t SimDriver::get_matching_services(std::string_view class_name, std::vector<io_object_t>& found) {
  found.clear();
  if (matching_status_ != kIOReturnSuccess) return matching_status_;
  if (class_name != kVantrelRegCtlClass) return kIOReturnSuccess;
  for (std::size_t i = 0; i < services_.size(); ++i) found.push_back(service_handle(i));
  return kIOReturnSuccess;
}

kern_return_t SimDriver::service_open(io_object_t service, std::uint32_t type, io_connect_t* connection) {
  const std::size_t index = service - kFirstService;
  if (service < kFirstService || index >= services_.size()) return kNoSuchService;
  if (type != 0) return kBadArgument;
  const kern_return_t status = services_[index].config.open_status;
  if (status != kIOReturnSuccess) return status;
  connections_.push_back({index, true});
  *connection = kFirstConnection + static_cast<io_connect_t>(connections_.size() - 1);
  return kIOReturnSuccess;
}

kern_return_t SimDriver::service_close(io_connect_t connection) {
  const std::size_t index = connection - kFirstConnection;
  if (connection < kFirstConnection || index >= connections_.size() || !connections_[index].open) return kNotOpen;
  connections_[index].open = false;
  return kIOReturnSuccess;
}

std::size_t SimDriver::open_connections() const {
  return static_cast<std::size_t>(std::count_if(connections_.begin(), connections_.end(), [](const auto& c) { return c.open; }));
}

SimDriver::Service* SimDriver::service_of(io_connect_t connection) {
  const std::size_t index = connection - kFirstConnection;
  if (connection < kFirstConnection || index >= connections_.size() || !connections_[index].open) return nullptr;
  return &services_[connections_[index].service];
}

bool SimDriver::faulted(Service& service, std::uint32_t selector) const {
  const auto& faults = service.config.faults;
  if (faults.fail_call != 0 && service.calls == faults.fail_call) return true;
  return std::find(faults.fail_selectors.begin(), faults.fail_selectors.end(), selector) != faults.fail_selectors.end();
}

kern_return_t SimDriver::call_method(io_connect_t connection, std::uint32_t selector,
                                     std::span<const std::uint64_t> scalars_in, std::span<const std::uint8_t> struct_in,
                                     std::uint64_t* scalars_out, std::uint32_t* scalar_out_count, void* struct_out,
                                     std::size_t* struct_out_size) {
  Call call{scalars_in, struct_in, scalars_out, scalar_out_count ? *scalar_out_count : 0u, 0,
            struct_out, struct_out_size ? *struct_out_size : 0u, 0};
  Service* service = service_of(connection);
  kern_return_t status = kNotOpen;
  if (service) {
    ++service->calls;
    status = faulted(*service, selector) ? kIOReturnError : dispatch(*service, selector, call);
  }
  if (scalar_out_count) *scalar_out_count = call.out_count;
  if (struct_out_size) *struct_out_size = call.struct_out_size;
  if (trace_) trace(selector, call, status);
  if (recording_)
    calls_.push_back({service ? service_handle(static_cast<std::size_t>(service - services_.data())) : 0, selector,
                      {scalars_in.begin(), scalars_in.end()}, struct_in.size(),
                      {scalars_out, scalars_out + call.out_count}, status});
  return status;
}

kern_return_t SimDriver::identity(Call& call, std::initializer_list<std::uint32_t> values) {
  if (call.out_room < values.size()) return kBadArgument;
  for (const auto value : values) call.out[call.out_count++] = value;
  return kIOReturnSuccess;
}

kern_return_t SimDriver::injector(Service& service, Call& call) {
  if (call.in.size() != 2 || call.out_room < 1) return kBadArgument;
  std::uint32_t& state = service.injector_state;
  if (call.in[0] == 1 && call.in[1] == 0 && (state == 0 || state == kInjectorStale)) state = kInjectorInjected;
  else if (call.in[0] == 0 && call.in[1] == 1 && state == kInjectorInjected) state = kInjectorActive;
  call.out[call.out_count++] = state;
  return kIOReturnSuccess;
}

kern_return_t SimDriver::dispatch(Service& service, std::uint32_t selector, Call& call) {
  const auto& id = service.config;
  SimController& controller = *service.controller;
  switch (selector) {
    case 0:
    case 1: return kIOReturnSuccess;
    case 2:
    case 15: return call.in.size() >= 1 ? kIOReturnSuccess : kBadArgument;
    case 3: {
      if (call.in.size() != 2) return kBadArgument;
      return echo_structure({reinterpret_cast<const std::uint8_t*>(call.in.data()), 16}, call.struct_out,
                            call.struct_out_room, call.struct_out_size);
    }
    case 4: return injector(service, call);
    case 5:
    case 16: return echo_structure(call.struct_in, call.struct_out, call.struct_out_room, call.struct_out_size);
    case 6: return call.in.size() == 2 ? identity(call, {0}) : kBadArgument;
    case 7:
      if (call.in.size() != 1 || call.in[0] > 0xFFFF) return kBadArgument;
      return identity(call, {controller.bar5_read(static_cast<std::uint16_t>(call.in[0]))});
    case 8:
      if (call.in.size() != 2 || call.in[0] > 0xFFFF) return kBadArgument;
      controller.bar5_write(static_cast<std::uint16_t>(call.in[0]), static_cast<std::uint32_t>(call.in[1]));
      return kIOReturnSuccess;
    case 9: return identity(call, {id.bus, id.dev, id.fun});
    case 10: return identity(call, {id.vid, id.did});
    case 11: return identity(call, {id.sub_vid, id.sub_did});
    case 12:
      if (call.in.size() != 1) return kBadArgument;
      service.delayed += call.in[0];  // a virtual wait: nothing sleeps
      return kIOReturnSuccess;
    default: return kIOReturnUnsupported;
  }
}

void SimDriver::trace(std::uint32_t selector, const Call& call, kern_return_t status) const {
  write_err(driver_trace_line(selector, call.in, call.struct_in.size(), {call.out, call.out_count}, call.struct_out_size,
                              status));
}

}  // namespace berth::sim
