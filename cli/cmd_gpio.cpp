// berthctl gpio dump: the controller's GPIO registers, as the library prints them.
#include "cli/commands.h"
#include "cli/regctl_session.h"
#include "lib/regctl/gpio_i2c.h"

namespace berth::cli {

int cmd_gpio(CliContext&, std::vector<std::string_view> args) {
  if (take_action(args, {"--service"}) != "dump") throw UsageError{"gpio needs dump"};
  const bool as_json = take_flag(args, "--json");
  const std::uint32_t service = take_service(args);
  expect_no_more(args);
  const auto session = ControllerSession::open(service);
  if (!session) return finish(as_json, kIOReturnError);
  nlohmann::ordered_json registers = nlohmann::ordered_json::object();
  const bool ok = dump_gpio_regs(session->connection(), session->record(),
                                 [&](const char* name, std::uint32_t value) { registers[name] = hex32(value); });
  return finish(as_json, ok ? kIOReturnSuccess : kIOReturnError, {{"registers", registers}});
}

}  // namespace berth::cli
