#pragma once
// The register-control driver port: what the register-control client needs of the
// maker's kernel driver. Services are found by class, a connection is opened on one
// of them, and every operation of the driver is a call by selector with 64-bit
// scalars and byte structures in and out.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/io_types.h"

namespace berth {

using io_connect_t = std::uint32_t;  // a connection to a driver service; 0 is none

inline constexpr std::string_view kVantrelRegCtlClass = "com_vantrel_driver_VantrelRegCtl";
// What a bounded wait of the client reports when its limit is reached.
inline constexpr kern_return_t kIOReturnTimeout = 0xE00002D6;
// What a driver answers to a selector it does not serve; the client passes it on.
inline constexpr kern_return_t kIOReturnUnsupported = 0xE00002C7;

class DriverPort {
 public:
  virtual ~DriverPort() = default;

  // The services of class_name, in matching order. A non-zero status: none were listed.
  virtual kern_return_t get_matching_services(std::string_view class_name, std::vector<io_object_t>& found) = 0;
  // Opens a user client of `type` on the service for the current task.
  virtual kern_return_t service_open(io_object_t service, std::uint32_t type, io_connect_t* connection) = 0;
  virtual kern_return_t service_close(io_connect_t connection) = 0;

  // One call of `selector`. Scalars are 64-bit. *scalar_out_count holds the room in
  // scalars_out on entry and the number delivered on return; *struct_out_size likewise
  // for struct_out (either may be null when the call gives no such output).
  virtual kern_return_t call_method(io_connect_t connection, std::uint32_t selector,
                                    std::span<const std::uint64_t> scalars_in, std::span<const std::uint8_t> struct_in,
                                    std::uint64_t* scalars_out, std::uint32_t* scalar_out_count, void* struct_out,
                                    std::size_t* struct_out_size) = 0;

  // A call with scalars only.
  kern_return_t call_scalar_method(io_connect_t connection, std::uint32_t selector,
                                   std::span<const std::uint64_t> scalars_in, std::uint64_t* scalars_out,
                                   std::uint32_t* scalar_out_count) {
    return call_method(connection, selector, scalars_in, {}, scalars_out, scalar_out_count, nullptr, nullptr);
  }
  // A call with structures only.
  kern_return_t call_struct_method(io_connect_t connection, std::uint32_t selector,
                                   std::span<const std::uint8_t> struct_in, void* struct_out,
                                   std::size_t* struct_out_size) {
    return call_method(connection, selector, {}, struct_in, nullptr, nullptr, struct_out, struct_out_size);
  }
};

}  // namespace berth
