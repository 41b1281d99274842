#pragma once
// The library's diagnostics: println (standard output, clipped to the terminal
// width) and the assertion line (standard error).
#include <cstdint>
#include <vector>

namespace berth {

// Line state of println; main_ioreg sets it from the terminal width.
extern std::uint32_t printbufsize;
extern std::uint32_t printbufleft;
extern std::vector<char> printbuf;
extern std::uint32_t printbufclip;

// Sets the line state for a terminal of `width` columns; 0 leaves it unchanged.
void set_diagnostics_width(std::uint32_t width);

[[gnu::format(printf, 1, 2)]] void println(const char* format, ...);
void assertion(bool condition, const char* message);

}  // namespace berth
