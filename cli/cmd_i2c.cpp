// berthctl i2c write ADDR BYTES...: one write transfer on the bit-banged I2C bus of a
// controller's GPIO pins (clock pin 3, data pin 4).
#include <string>

#include "cli/commands.h"
#include "cli/regctl_session.h"
#include "lib/regctl/gpio_i2c.h"
#include "platform/services.h"

namespace berth::cli {

int cmd_i2c(CliContext&, std::vector<std::string_view> args) {
  if (args.empty() || args.front() != "write") throw UsageError{"i2c needs write ADDR BYTES..."};
  args.erase(args.begin());
  const std::uint32_t service = take_service(args);
  if (args.empty()) throw UsageError{"i2c write needs a 7-bit address"};
  const auto address = static_cast<std::uint8_t>(parse_number(args.front(), 0x7F, "the address"));
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 1; i < args.size(); ++i) bytes.push_back(static_cast<std::uint8_t>(parse_number(args[i], 0xFF, "a byte")));

  const auto session = ControllerSession::open(service);
  if (!session) return kExitFailed;
  const io_connect_t connect = session->connection();
  sDevice* dev = session->record();
  reset_gpio_to_default_3(connect, dev);
  // Every byte must be acknowledged; the transfer stops at the first that is not.
  bool stopped = bytes.empty();
  bool nack = i2c_write_byte(connect, dev, true, stopped, static_cast<std::uint8_t>(address << 1));
  std::size_t sent = 0;
  while (!nack && sent < bytes.size()) {
    stopped = sent + 1 == bytes.size();
    nack = i2c_write_byte(connect, dev, false, stopped, bytes[sent]);
    ++sent;
  }
  if (!stopped) i2c_stop_cond(connect, dev);
  if (nack) {
    write_err(sent == 0 ? format("i2c write: address 0x%02X was not acknowledged\n", address)
                        : format("i2c write: byte %zu (0x%02X) was not acknowledged\n", sent, bytes[sent - 1]));
    return kExitFailed;
  }
  write_out(format("i2c write: address 0x%02X and %zu byte%s acknowledged\n", address, bytes.size(),
                   bytes.size() == 1 ? "" : "s"));
  return kExitOk;
}

}  // namespace berth::cli
