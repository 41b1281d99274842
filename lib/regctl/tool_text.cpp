#include "lib/regctl/tool_text.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace berth {
namespace {

// Length of the UTF-8 sequence that `lead` begins, 0 when it begins none.
std::size_t sequence_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The range the second byte must be in: this rules out overlong forms, surrogates and
// code points above U+10FFFF.
bool second_byte_fits(unsigned char lead, unsigned char second) {
  if (lead == 0xE0) return second >= 0xA0 && second <= 0xBF;
  if (lead == 0xED) return second >= 0x80 && second <= 0x9F;
  if (lead == 0xF0) return second >= 0x90 && second <= 0xBF;
  if (lead == 0xF4) return second >= 0x80 && second <= 0x8F;
  return second >= 0x80 && second <= 0xBF;
}

std::uint32_t scan_value(std::string_view text, int base) {
  const std::string terminated(text);
  // The hexadecimal scanner takes blanks and an optional 0x, but no sign.
  const auto first = terminated.find_first_not_of(" \t\n\r\f\v");
  if (base == 16 && first != std::string::npos && (terminated[first] == '+' || terminated[first] == '-')) return 0;
  return static_cast<std::uint32_t>(std::strtoul(terminated.c_str(), nullptr, base));
}

}  // namespace

bool is_utf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = sequence_length(lead);
    if (length == 0 || text.size() - i < length) return false;
    if (length > 1 && !second_byte_fits(lead, static_cast<unsigned char>(text[i + 1]))) return false;
    for (std::size_t k = 2; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += length;
  }
  return true;
}

bool lists_disk(std::string_view listing, std::uint32_t unit) {
  const std::string name = "/dev/disk" + std::to_string(unit);
  for (std::size_t at = listing.find(name); at != std::string_view::npos; at = listing.find(name, at + 1)) {
    const std::size_t after = at + name.size();
    if (after == listing.size() || !std::isdigit(static_cast<unsigned char>(listing[after]))) return true;
  }
  return false;
}

std::string_view report_value(std::string_view report, std::string_view key, std::size_t offset, std::size_t length) {
  const std::size_t at = report.find(key);
  if (at == std::string_view::npos || offset >= report.size() - at) return {};
  return report.substr(at + offset, length);
}

std::uint32_t hex_value(std::string_view text) { return scan_value(text, 16); }

std::uint32_t decimal_value(std::string_view text) { return scan_value(text, 10); }

}  // namespace berth
