#pragma once
// What the register tools of berthctl share: the controller chosen with --service N
// (default the first service of the register-control class), a connection on it, and
// a dock record filled from the driver as the driver-based scan fills one.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "lib/discovery/device_tables.h"
#include "platform/driver_port.h"

namespace berth::cli {

// A decimal or 0x-prefixed hexadecimal number of at most max; UsageError otherwise.
std::uint32_t parse_number(std::string_view text, std::uint32_t max, std::string_view what);
// Takes "--service N" out of args; 0 when absent.
std::uint32_t take_service(std::vector<std::string_view>& args);

class ControllerSession {
 public:
  // Opens the service with that index and reads its location, identity and flash
  // identity into the record. Null, after one line on standard error, when that
  // fails; UsageError when the machine has no such service.
  static std::unique_ptr<ControllerSession> open(std::uint32_t service_index);
  ControllerSession() = default;
  ~ControllerSession();
  ControllerSession(const ControllerSession&) = delete;
  ControllerSession& operator=(const ControllerSession&) = delete;

  io_connect_t connection() const { return connection_; }
  sDevice* record() { return record_.get(); }

 private:
  bool fill_record(io_object_t service);

  io_connect_t connection_ = 0;
  std::unique_ptr<sDevice> record_ = std::make_unique<sDevice>();
};

}  // namespace berth::cli
