// berthctl led on|off|blink|unblink --port N: the SATA status LEDs of a controller,
// through the library's entry points, which open a connection of their own.
#include <string>

#include "cli/commands.h"
#include "cli/regctl_session.h"
#include "lib/regctl/sata_led.h"
#include "platform/services.h"

namespace berth::cli {

int cmd_led(CliContext&, std::vector<std::string_view> args) {
  const std::string action(take_action(args, {"--port", "--service"}));
  if (action.empty()) throw UsageError{"led needs on, off, blink or unblink"};
  const bool as_json = take_flag(args, "--json");
  const auto port_text = take_option(args, "--port");
  const std::uint32_t service = take_service(args);
  expect_no_more(args);
  if (action != "on" && action != "off" && action != "blink" && action != "unblink")
    throw UsageError{"unknown led action \"" + action + "\" (on, off, blink or unblink)"};
  if (!port_text) throw UsageError{"led " + action + " needs --port N"};
  // Which ports exist is the library's to say: any number goes to it.
  const std::uint32_t port = parse_uint32_argument(*port_text, "--port");

  const nlohmann::ordered_json fields{{"action", action}, {"port", port}};
  const auto dev = ControllerSession::record_for_entry_point(service);
  if (!dev) return finish(as_json, kIOReturnError, fields);
  kern_return_t status = kIOReturnError;
  if (action == "on") status = sata_status_LED_on(dev.get(), port);
  else if (action == "off") status = sata_status_LED_off(dev.get(), port);
  else status = sata_status_LED_blink(dev.get(), port, action == "blink");
  if (!as_json) write_out(format("led %s --port %u: status 0x%08x\n", action.c_str(), port, status));
  return finish(as_json, status, fields);
}

}  // namespace berth::cli
