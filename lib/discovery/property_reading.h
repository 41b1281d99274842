#pragma once
// How the property handlers read keys and values: 8-bit text keys only, text copied
// with truncation, data as little-endian words, integers by their low 32 bits.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/registry_port.h"

namespace berth {

// The key's 8-bit text, or nothing for a non-text key or one without 8-bit text.
inline std::optional<std::string_view> key_text(const PropertyValue& key) {
  const char* text = key.c_string_ptr();
  if (!text) return std::nullopt;
  return std::string_view(text);
}

// Little-endian word of the data bytes from `offset`. A value shorter than that reads
// the bytes there are, zero-extended: a short value never reads past its end.
inline std::uint32_t data_le32(const PropertyValue& value, std::size_t offset = 0) {
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < 4 && offset + i < value.bytes.size(); ++i)
    word |= static_cast<std::uint32_t>(value.bytes[offset + i]) << (8 * i);
  return word;
}

inline std::uint32_t number_low32(const PropertyValue& value) { return static_cast<std::uint32_t>(value.number); }

// Copies text into a fixed field, cut to size - 1 characters and NUL-terminated.
template <std::size_t N>
void copy_text(char (&field)[N], const char* text) {
  const std::size_t length = strnlen(text, N - 1);
  std::memcpy(field, text, length);
  field[length] = '\0';
}

}  // namespace berth
