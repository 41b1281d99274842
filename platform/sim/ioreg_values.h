#pragma once
// Property lines of an `ioreg -l` dump: `"key" = value`, the value in ioreg's notation:
//   "text"                      text; it has an 8-bit form when it is plain ASCII
//   <0a1b...>                   data, two hex digits a byte
//   <"abc">, <"a","b">          printable data: the bytes of the strings, NUL between
//   123, 0x7b                   integers, 64-bit; ioreg prints them unsigned, so a huge
//                               one is a negative number and keeps its bit pattern
//   Yes, No, {"k"=v,...}, (a,b), [a,b], and nothing at all
//                               values of another kind, kept as printed
// A value that the line's clipping cut is another kind too, kept as printed with the
// clip mark: neither a cut text nor cut data nor a cut number passes for a whole one.
#include <functional>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "platform/registry_port.h"

namespace berth::sim::ioreg {

// A property line that is not in ioreg's notation.
struct ValueError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The next raw line of the dump, nullopt after the last.
using NextLine = std::function<std::optional<std::string_view>()>;

// Reads the content of a property line. A text value that holds a line break carries
// on to the following lines of the dump, which next_line gives. Throws ValueError for
// anything malformed, and when the dump ends inside a text.
Property read_property(std::string_view content, bool clipped, const NextLine& next_line);

}  // namespace berth::sim::ioreg
