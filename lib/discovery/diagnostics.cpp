#include "lib/discovery/diagnostics.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <new>
#include <string>

#include "platform/services.h"

namespace berth {

std::uint32_t printbufsize;
std::uint32_t printbufleft;
std::vector<char> printbuf;
std::uint32_t printbufclip;

void set_diagnostics_width(std::uint32_t width) {
  if (width == 0) return;
  try {
    printbuf.assign(width, '\0');
  } catch (const std::bad_alloc&) {
    assertion(false, "can't allocate buffer");
    printbuf.clear();
    printbufsize = printbufleft = 0;
    return;
  }
  printbufsize = width;
  printbufleft = width;
}

void println(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  if (printbufsize == 0 || printbuf.size() < printbufleft) {
    write_out(vformat(format, args));
  } else {
    const int wanted = std::vsnprintf(printbuf.data(), printbufleft, format, args);
    std::string line(printbuf.data());
    std::replace(line.begin(), line.end(), '\n', ' ');
    write_out(line);
    if (wanted >= 0 && static_cast<std::uint32_t>(wanted) >= printbufleft) printbufclip = 1;
  }
  va_end(args);
  if (printbufclip == 1) write_out("$");
  write_out("\n");
  printbufclip = 0;
  printbufleft = printbufsize;
}

void assertion(bool condition, const char* message) {
  if (!condition) err_printf("ioreg: error: %s.\n", message);
}

}  // namespace berth
