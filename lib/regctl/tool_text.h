#pragma once
// Reading the outputs of the disk utility and the drive tools. Every read stays inside
// the output: a key that is missing, or text that ends early, gives a shorter or empty
// value, never a read past the end.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace berth {

bool is_utf8(std::string_view text);

// True when `listing` names the whole disk "/dev/diskN": the name must not go on with
// another digit, so "/dev/disk12" does not name /dev/disk1.
bool lists_disk(std::string_view listing, std::uint32_t unit);

// The `length` characters that begin `offset` characters after the first character of
// the first `key` in `report` (fewer, or none, where the report ends sooner).
std::string_view report_value(std::string_view report, std::string_view key, std::size_t offset, std::size_t length);

// A value read as the C library's scanners read it: leading blanks, an optional sign
// and, for hexadecimal, an optional 0x; 0 when no digit follows.
std::uint32_t hex_value(std::string_view text);
std::uint32_t decimal_value(std::string_view text);

}  // namespace berth
