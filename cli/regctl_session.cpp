#include "cli/regctl_session.h"

#include <charconv>
#include <limits>
#include <optional>
#include <string>

#include "cli/cli_context.h"
#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"
#include "lib/regctl/spi_flash.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

// The service with that index; nothing, after the library's line, when the services
// cannot be listed.
std::optional<io_object_t> find_service(std::uint32_t service_index) {
  DriverPort* driver = services().driver;
  std::vector<io_object_t> found;
  const kern_return_t status = driver ? driver->get_matching_services(kVantrelRegCtlClass, found) : kIOReturnError;
  if (status != kIOReturnSuccess) {
    err_printf("IOServiceGetMatchingServices returned 0x%08x\n\n", status);
    return std::nullopt;
  }
  // Not a usage error: the command was right, the machine has nothing to run it on.
  if (found.empty()) {
    write_err("berthctl: no dock controller was found (the register tools need a Berthline dock with eSATA ports)\n");
    return std::nullopt;
  }
  if (service_index >= found.size())
    throw UsageError{"no register-control service " + std::to_string(service_index) + " (the machine has " +
                     std::to_string(found.size()) + ")"};
  return found[service_index];
}

UsageError not_a_number(std::string_view text, std::string_view what, std::string_view range) {
  return UsageError{std::string(what) + " must be " + std::string(range) + ", not \"" + std::string(text) + "\""};
}

}  // namespace

std::uint32_t parse_number(std::string_view text, std::uint32_t max, std::string_view what) {
  std::string_view digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || value > max)
    throw not_a_number(text, what, "a number from 0 to " + std::to_string(max));
  return static_cast<std::uint32_t>(value);
}

std::uint32_t parse_uint32_argument(std::string_view text, std::string_view what) {
  if (!text.starts_with('-')) {
    try {
      return parse_number(text, 0xFFFFFFFF, what);
    } catch (const UsageError&) {
      throw not_a_number(text, what, "a 32-bit integer");
    }
  }
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < std::numeric_limits<std::int32_t>::min())
    throw not_a_number(text, what, "a 32-bit integer");
  return static_cast<std::uint32_t>(value);
}

std::uint32_t take_service(std::vector<std::string_view>& args) {
  const auto service = take_option(args, "--service");
  return service ? parse_number(*service, 0xFFFF, "--service") : 0;
}

int finish(bool as_json, kern_return_t status, const nlohmann::ordered_json& fields) {
  if (as_json) {
    nlohmann::ordered_json document{{"status", hex32(status)}};
    document.update(fields);
    print_json(document);
  }
  return status == kIOReturnSuccess ? kExitOk : kExitFailed;
}

std::unique_ptr<ControllerSession> ControllerSession::open(std::uint32_t service_index, RecordNeeds needs) {
  auto session = std::make_unique<ControllerSession>();
  if (!session->connect(service_index)) {
    if (session->record_->service != 0) err_printf("cannot open a connection to service %u\n", service_index);
    return nullptr;
  }
  if (!session->fill_record(needs)) return nullptr;
  return session;
}

std::unique_ptr<sDevice> ControllerSession::record_for_entry_point(std::uint32_t service_index, RecordNeeds needs) {
  ControllerSession session;
  if (!session.connect(service_index)) {
    if (session.record_->service == 0) return nullptr;  // not even listed
    return std::move(session.record_);
  }
  if (!session.fill_record(needs)) return nullptr;
  return std::move(session.record_);  // the session closes its connection now
}

ControllerSession::~ControllerSession() {
  // A connection whose selector 0 failed is open too, and is closed the same way.
  if (connection_ != 0) MyUserClientCloseExample(connection_);
}

bool ControllerSession::connect(std::uint32_t service_index) {
  const auto service = find_service(service_index);
  if (!service) return false;
  record_->service = *service;
  return MyUserClientOpenExample(*service, &connection_) == kIOReturnSuccess && connection_ != 0;
}

bool ControllerSession::fill_record(RecordNeeds needs) {
  sDevice& dev = *record_;
  bool ok = My_get_vid_did(connection_, &dev.VID, &dev.DID) == kIOReturnSuccess;
  if (ok && needs.location)
    ok = My_get_bus_dev_fun_num(connection_, &dev.bus_num, &dev.dev_num, &dev.fun_num) == kIOReturnSuccess;
  if (ok && needs.flash_identity) ok = get_VID_DID_9182_spi_flash(connection_, &dev, &dev.spi_flash_id);
  if (!ok) err_printf("cannot read the controller's identity\n");
  return ok;
}

}  // namespace berth::cli
