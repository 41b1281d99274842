// berthctl i2c write ADDR BYTES...: one write transfer on the bit-banged I2C bus of a
// controller's GPIO pins (clock pin 3, data pin 4).
#include <algorithm>
#include <string>

#include "cli/commands.h"
#include "cli/regctl_session.h"
#include "lib/regctl/gpio_i2c.h"
#include "platform/services.h"

namespace berth::cli {
namespace {

std::string hex8(std::uint8_t value) { return format("0x%02X", value); }

// Which of the bytes the receiver did not acknowledge, or that the clock gave out.
kern_return_t report(std::uint8_t address, const std::vector<std::uint8_t>& bytes, const std::vector<bool>& nacks) {
  if (glo_i2c_scl_timeout) {
    write_err("i2c write: the clock line stayed low, so the transfer was given up\n");
    return kIOReturnError;
  }
  if (nacks[0]) write_err(format("i2c write: address %s was not acknowledged\n", hex8(address).c_str()));
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (nacks[i + 1])
      write_err(format("i2c write: byte %zu (%s) was not acknowledged\n", i + 1, hex8(bytes[i]).c_str()));
  return std::find(nacks.begin(), nacks.end(), true) == nacks.end() ? kIOReturnSuccess : kIOReturnError;
}

}  // namespace

int cmd_i2c(CliContext&, std::vector<std::string_view> args) {
  if (take_action(args, {"--service"}) != "write") throw UsageError{"i2c needs write ADDR BYTES..."};
  const bool as_json = take_flag(args, "--json");
  const std::uint32_t service = take_service(args);
  if (args.empty()) throw UsageError{"i2c write needs a 7-bit address"};
  const auto address = static_cast<std::uint8_t>(parse_number(args.front(), 0x7F, "the address"));
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 1; i < args.size(); ++i)
    bytes.push_back(static_cast<std::uint8_t>(parse_number(args[i], 0xFF, "a byte")));

  const auto session = ControllerSession::open(service);
  if (!session) return finish(as_json, kIOReturnError);
  const io_connect_t connect = session->connection();
  sDevice* dev = session->record();
  reset_gpio_to_default_3(connect, dev);
  // Every byte goes out whatever the acknowledge bits say, as the library sends them.
  std::vector<bool> nacks{i2c_write_byte(connect, dev, true, bytes.empty(), static_cast<std::uint8_t>(address << 1))};
  for (std::size_t i = 0; i < bytes.size(); ++i)
    nacks.push_back(i2c_write_byte(connect, dev, false, i + 1 == bytes.size(), bytes[i]));
  const kern_return_t status = report(address, bytes, nacks);
  if (status == kIOReturnSuccess && !as_json)
    write_out(format("i2c write: address %s and %zu byte%s acknowledged\n", hex8(address).c_str(), bytes.size(),
                     bytes.size() == 1 ? "" : "s"));
  nlohmann::ordered_json sent = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < bytes.size(); ++i)
    sent.push_back({{"value", hex8(bytes[i])}, {"acknowledged", !nacks[i + 1]}});
  return finish(as_json, status,
                {{"address", hex8(address)}, {"address_acknowledged", !nacks[0]}, {"bytes", sent},
                 {"clock_timeout", glo_i2c_scl_timeout}});
}

}  // namespace berth::cli
