#pragma once
// What the register tools of berthctl share: the controller chosen with --service N
// (default the first service of the register-control class), a dock record with what
// the command needs of it, a connection on it, and the way each command ends.
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "lib/discovery/device_tables.h"
#include "platform/driver_port.h"

namespace berth::cli {

// A decimal or 0x-prefixed hexadecimal number of at most max; UsageError otherwise.
std::uint32_t parse_number(std::string_view text, std::uint32_t max, std::string_view what);
// Any 32-bit integer, as a caller in C would pass it as an unsigned 32-bit argument: a
// negative decimal wraps around. UsageError for anything that is not such a number.
std::uint32_t parse_uint32_argument(std::string_view text, std::string_view what);
// Takes "--service N" out of args; 0 when absent.
std::uint32_t take_service(std::vector<std::string_view>& args);

// Ends a register command: with --json, {"status": "0x...", fields...} as the last line
// of standard output. 0 when the status is 0, else 1.
int finish(bool as_json, kern_return_t status, const nlohmann::ordered_json& fields = nlohmann::ordered_json::object());

// What a command reads into its record besides the service and the vendor and device
// IDs, which every register access needs (the index adjustment goes by device ID).
struct RecordNeeds {
  bool location = false;        // selector 9: the dump file's name
  bool flash_identity = false;  // what erase and programming decide by
};

class ControllerSession {
 public:
  // Opens the service with that index and reads what the command needs into the
  // record. Null, after one line on standard error, when that fails; UsageError when
  // the machine has no such service.
  static std::unique_ptr<ControllerSession> open(std::uint32_t service_index, RecordNeeds needs = {});
  // For the library's entry points, which open a connection of their own: the record
  // is filled on a connection that is closed again before this returns. When no
  // connection opens the record holds only its service, so that the entry point meets
  // the same failure and reports it in its own words. Null, after one line, when the
  // record cannot be read.
  static std::unique_ptr<sDevice> record_for_entry_point(std::uint32_t service_index, RecordNeeds needs = {});

  ControllerSession() = default;
  ~ControllerSession();
  ControllerSession(const ControllerSession&) = delete;
  ControllerSession& operator=(const ControllerSession&) = delete;

  io_connect_t connection() const { return connection_; }
  sDevice* record() { return record_.get(); }

 private:
  bool connect(std::uint32_t service_index);
  bool fill_record(RecordNeeds needs);

  io_connect_t connection_ = 0;
  std::unique_ptr<sDevice> record_ = std::make_unique<sDevice>();
};

}  // namespace berth::cli
