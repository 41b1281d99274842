#pragma once
#include "platform/console_port.h"

namespace berth {

// The process's own standard streams and the terminal driver's window size.
class PosixConsole final : public ConsolePort {
 public:
  void write(Stream stream, std::string_view text) override;
  std::optional<std::uint32_t> terminal_columns(Stream stream) override;
};

}  // namespace berth
