#pragma once
// Standard output and standard error as the library's diagnostics see them, plus
// the terminal size question that decides how diagnostics lines are clipped.
#include <cstdint>
#include <optional>
#include <string_view>

namespace berth {

enum class Stream { out, err, in };

class ConsolePort {
 public:
  virtual ~ConsolePort() = default;
  virtual void write(Stream stream, std::string_view text) = 0;
  // Columns of the terminal attached to the stream, or nothing when none is.
  virtual std::optional<std::uint32_t> terminal_columns(Stream stream) = 0;
};

}  // namespace berth
