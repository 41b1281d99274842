#include "platform/linux/sysfs_driver.h"

#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/driver_trace.h"
#include "platform/linux/sysfs_pci_identity.h"
#include "platform/services.h"

namespace berth::linux_host {
namespace {

constexpr kern_return_t kBadArgument = 0xE00002C2;
constexpr kern_return_t kNotOpen = 0xE00002CD;

// The status a refused open returns, one per cause.
kern_return_t status_of(Refusal refusal) {
  switch (refusal) {
    case Refusal::no_such_function: return 0xE00002C0;  // no such device
    case Refusal::not_root: return 0xE00002C1;          // not privileged
    case Refusal::kernel_lockdown: return 0xE00002E2;   // not permitted
    case Refusal::strict_devmem: return 0xE00002C5;     // exclusive access
    case Refusal::not_an_attribute: return kBadArgument;
    case Refusal::failed: break;
  }
  return kIOReturnError;
}

}  // namespace

struct SysfsDriver::Call {
  std::span<const std::uint64_t> in;
  std::uint64_t* out;
  std::uint32_t out_room;
  std::uint32_t out_count = 0;

  kern_return_t give(std::initializer_list<std::uint64_t> values) {
    if (out == nullptr || out_room < values.size()) return kBadArgument;
    for (const auto value : values) out[out_count++] = value;
    return kIOReturnSuccess;
  }
};

SysfsDriver::SysfsDriver(std::filesystem::path sysfs_root, std::vector<std::string> functions)
    : root_(std::move(sysfs_root)), functions_(std::move(functions)) {}

kern_return_t SysfsDriver::get_matching_services(std::string_view class_name, std::vector<io_object_t>& found) {
  found.clear();
  if (class_name != kVantrelRegCtlClass) return kIOReturnSuccess;
  for (std::size_t i = 0; i < functions_.size(); ++i) found.push_back(kFirstService + static_cast<io_object_t>(i));
  return kIOReturnSuccess;
}

kern_return_t SysfsDriver::service_open(io_object_t service, std::uint32_t type, io_connect_t* connection) {
  const std::size_t index = service - kFirstService;
  if (service < kFirstService || index >= functions_.size()) {
    last_refusal_ = Refusal::no_such_function;
    return status_of(Refusal::no_such_function);
  }
  if (type != 0 || connection == nullptr) return kBadArgument;
  const std::string& function = functions_[index];
  AccessFacts facts;
  facts.euid = ::geteuid();
  std::error_code error;
  // The devices directory holds links into the device tree; the function's own
  // directory is resolved, its resource file is not.
  const auto device_dir = parse_pci_address(function)
                              ? std::filesystem::canonical(root_ / "bus/pci/devices" / function, error)
                              : std::filesystem::path();
  facts.function_present = !device_dir.empty() && !error;
  if (!facts.function_present) return refuse(function, facts, {});
  MapResult mapped = map_resource(device_dir, 5);
  if (!mapped.mapping) {
    facts.error = mapped.error;
    facts.resource_is_attribute = mapped.attribute;
    return refuse(function, facts, device_dir);
  }
  last_refusal_.reset();
  *connection = next_connection_++;
  connections_.emplace(*connection, Connection{index, std::move(mapped.mapping)});
  return kIOReturnSuccess;
}

kern_return_t SysfsDriver::refuse(const std::string& function, AccessFacts facts,
                                  const std::filesystem::path& device_dir) {
  if (!device_dir.empty()) gather_kernel_facts(root_, device_dir, facts);
  const Refusal refusal = decide_refusal(facts).value_or(Refusal::failed);
  last_refusal_ = refusal;
  // A command may try the same function more than once (a register tool's entry point
  // opens a connection of its own); the user needs the reason once.
  std::string line = refusal_line(refusal, function, facts.error);
  if (explained_.insert(line).second) write_err(line);
  return status_of(refusal);
}

kern_return_t SysfsDriver::service_close(io_connect_t connection) {
  return connections_.erase(connection) == 1 ? kIOReturnSuccess : kNotOpen;  // unmaps and closes
}

kern_return_t SysfsDriver::call_method(io_connect_t connection, std::uint32_t selector,
                                       std::span<const std::uint64_t> scalars_in, std::span<const std::uint8_t> struct_in,
                                       std::uint64_t* scalars_out, std::uint32_t* scalar_out_count, void* /*struct_out*/,
                                       std::size_t* struct_out_size) {
  Call call{scalars_in, scalars_out, scalar_out_count ? *scalar_out_count : 0u};
  const auto it = connections_.find(connection);
  const kern_return_t status = it == connections_.end() ? kNotOpen : dispatch(it->second, selector, call);
  if (scalar_out_count) *scalar_out_count = call.out_count;
  if (struct_out_size) *struct_out_size = 0;  // no selector served here gives a structure
  if (trace_)
    write_err(driver_trace_line(selector, scalars_in, struct_in.size(), {scalars_out, call.out_count}, 0, status));
  return status;
}

kern_return_t SysfsDriver::dispatch(Connection& connection, std::uint32_t selector, Call& call) {
  switch (selector) {
    case 0:
    case 1: return kIOReturnSuccess;
    case 7: {
      if (call.in.size() != 1) return kBadArgument;
      std::uint32_t value = 0;
      const kern_return_t status = connection.bar->read32(call.in[0], value);
      return status == kIOReturnSuccess ? call.give({value}) : status;
    }
    case 8:
      if (call.in.size() != 2 || call.in[1] > 0xFFFFFFFF) return kBadArgument;
      return connection.bar->write32(call.in[0], static_cast<std::uint32_t>(call.in[1]));
    case 9:
    case 10:
    case 11: return identity(connection, selector, call);
    case 12:
      if (call.in.size() != 1 || call.in[0] > 0xFFFFFFFF) return kBadArgument;
      std::this_thread::sleep_for(std::chrono::microseconds(call.in[0]));
      return kIOReturnSuccess;
    default: return kIOReturnUnsupported;
  }
}

kern_return_t SysfsDriver::identity(Connection& connection, std::uint32_t selector, Call& call) const {
  const std::string& function = functions_[connection.service];
  if (selector == 9) {
    const auto address = parse_pci_address(function);
    return address ? call.give({address->bus, address->device, address->function}) : kIOReturnError;
  }
  const auto id = read_pci_identity(root_ / "bus/pci/devices" / function, function);
  if (!id) return kIOReturnError;
  if (selector == 10) return call.give({id->vendor, id->device});
  if (!id->subsystem_vendor || !id->subsystem_device) return kIOReturnError;
  return call.give({*id->subsystem_vendor, *id->subsystem_device});
}

}  // namespace berth::linux_host
