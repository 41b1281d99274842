// berthctl led on|off|blink|unblink --port N: the SATA status LEDs of a controller.
#include <string>

#include "cli/commands.h"
#include "cli/regctl_session.h"
#include "lib/regctl/sata_led.h"
#include "platform/services.h"

namespace berth::cli {

int cmd_led(CliContext&, std::vector<std::string_view> args) {
  if (args.empty()) throw UsageError{"led needs on, off, blink or unblink"};
  const std::string action(args.front());
  args.erase(args.begin());
  const auto port_text = take_option(args, "--port");
  const std::uint32_t service = take_service(args);
  expect_no_more(args);
  if (!port_text) throw UsageError{"led " + action + " needs --port N"};
  const std::uint32_t port = parse_number(*port_text, kSataLedPorts - 1, "--port");
  if (action != "on" && action != "off" && action != "blink" && action != "unblink")
    throw UsageError{"unknown led action \"" + action + "\" (on, off, blink or unblink)"};

  const auto session = ControllerSession::open(service);
  if (!session) return kExitFailed;
  sDevice* dev = session->record();
  kern_return_t status = kIOReturnError;
  if (action == "on") status = sata_status_LED_on(dev, port);
  else if (action == "off") status = sata_status_LED_off(dev, port);
  else status = sata_status_LED_blink(dev, port, action == "blink");
  write_out(format("led %s --port %u: status 0x%08x\n", action.c_str(), port, status));
  // Blink state lives in the record of this run: a new run has no blink to stop.
  if (status != kIOReturnSuccess && action == "unblink")
    write_err(format("led unblink: port %u is not blinking in this run\n", port));
  return status == kIOReturnSuccess ? kExitOk : kExitFailed;
}

}  // namespace berth::cli
