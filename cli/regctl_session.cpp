#include "cli/regctl_session.h"

#include <charconv>
#include <string>

#include "cli/cli_context.h"
#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"
#include "lib/regctl/spi_flash.h"
#include "platform/services.h"

namespace berth::cli {

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
    throw UsageError{std::string(what) + " must be a number from 0 to " + std::to_string(max) + ", not \"" +
                     std::string(text) + "\""};
  return static_cast<std::uint32_t>(value);
}

std::uint32_t take_service(std::vector<std::string_view>& args) {
  const auto service = take_option(args, "--service");
  return service ? parse_number(*service, 0xFFFF, "--service") : 0;
}

std::unique_ptr<ControllerSession> ControllerSession::open(std::uint32_t service_index) {
  DriverPort* driver = services().driver;
  std::vector<io_object_t> found;
  const kern_return_t status = driver ? driver->get_matching_services(kVantrelRegCtlClass, found) : kIOReturnError;
  if (status != kIOReturnSuccess) {
    err_printf("IOServiceGetMatchingServices returned 0x%08x\n\n", status);
    return nullptr;
  }
  if (service_index >= found.size())
    throw UsageError{"no register-control service " + std::to_string(service_index) + " (the machine has " +
                     std::to_string(found.size()) + ")"};
  auto session = std::make_unique<ControllerSession>();
  const kern_return_t opened = MyUserClientOpenExample(found[service_index], &session->connection_);
  if (opened != kIOReturnSuccess) {
    err_printf("cannot open a connection to service %u: status 0x%08x\n", service_index, opened);
    return nullptr;
  }
  if (!session->fill_record(found[service_index])) return nullptr;
  return session;
}

ControllerSession::~ControllerSession() {
  if (connection_ != 0) MyUserClientCloseExample(connection_);
}

bool ControllerSession::fill_record(io_object_t service) {
  sDevice& dev = *record_;
  dev.service = service;
  const bool ok = My_get_bus_dev_fun_num(connection_, &dev.bus_num, &dev.dev_num, &dev.fun_num) == kIOReturnSuccess &&
                  My_get_vid_did(connection_, &dev.VID, &dev.DID) == kIOReturnSuccess &&
                  My_get_sub_vid_did(connection_, &dev.SUB_VID, &dev.SUB_DID) == kIOReturnSuccess &&
                  get_VID_DID_9182_spi_flash(connection_, &dev, &dev.spi_flash_id);
  if (!ok) err_printf("cannot read the controller's identity\n");
  return ok;
}

}  // namespace berth::cli
