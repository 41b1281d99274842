#include "platform/linux/unit_table.h"

#include <charconv>

namespace berth::linux_host {
namespace {

constexpr std::uint32_t kNone = 255;

struct Range {
  std::uint32_t low_base;    // unit of index 0 while the index is below low_count
  std::uint32_t low_count;
  std::uint32_t high_base;   // unit of index i beyond: high_base + i
  std::uint32_t high_limit;  // indexes at or above this have no unit
};

constexpr Range kSd{0, 128, 1000, 99000};
constexpr Range kLoop{128, 64, 100000, 100000};
constexpr Range kSr{192, 32, 200000, 100000};

std::optional<std::uint32_t> unit_in(const Range& range, std::uint64_t index) {
  if (index < range.low_count) return range.low_base + static_cast<std::uint32_t>(index);
  if (index < range.high_limit) return range.high_base + static_cast<std::uint32_t>(index);
  return std::nullopt;
}

std::optional<std::uint64_t> index_in(const Range& range, std::uint32_t unit) {
  if (unit >= range.low_base && unit < range.low_base + range.low_count) return unit - range.low_base;
  if (unit >= range.high_base + range.low_count && unit < range.high_base + range.high_limit) {
    return unit - range.high_base;
  }
  return std::nullopt;
}

// Reads the decimal number at the front of text (no sign, no leading zero unless it is
// "0"), leaving the rest.
std::optional<std::uint64_t> take_number(std::string_view& text) {
  std::size_t digits = 0;
  while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') ++digits;
  if (digits == 0 || digits > 9 || (digits > 1 && text[0] == '0')) return std::nullopt;
  std::uint64_t value = 0;
  std::from_chars(text.data(), text.data() + digits, value);
  text.remove_prefix(digits);
  return value;
}

bool take_prefix(std::string_view& text, std::string_view prefix) {
  if (!text.starts_with(prefix)) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// sd letters are bijective base 26: a..z, aa..az, ba, ...
std::optional<std::uint64_t> take_sd_letters(std::string_view& text) {
  std::size_t letters = 0;
  std::uint64_t index = 0;
  while (letters < text.size() && text[letters] >= 'a' && text[letters] <= 'z' && letters < 4) {
    index = index * 26 + static_cast<std::uint64_t>(text[letters] - 'a') + 1;
    ++letters;
  }
  if (letters == 0) return std::nullopt;
  text.remove_prefix(letters);
  return index - 1;
}

std::string sd_letters(std::uint64_t index) {
  std::string letters;
  for (std::uint64_t n = index + 1; n > 0; n = (n - 1) / 26) {
    letters.insert(letters.begin(), static_cast<char>('a' + (n - 1) % 26));
  }
  return letters;
}

// The partition number after a disk name: "1" for sd, "p1" for loop and nvme.
std::optional<std::uint32_t> take_slice(std::string_view text, bool with_p) {
  if (text.empty()) return 0;
  if (with_p && !take_prefix(text, "p")) return std::nullopt;
  const auto slice = take_number(text);
  if (!slice || *slice == 0 || !text.empty()) return std::nullopt;
  return static_cast<std::uint32_t>(*slice);
}

std::optional<BsdUnit> nvme_unit(std::string_view text) {
  const auto controller = take_number(text);
  if (!controller || !take_prefix(text, "n")) return std::nullopt;
  const auto ns = take_number(text);
  if (!ns || *ns == 0 || *ns >= 1000 || *controller >= 4000) return std::nullopt;
  const auto slice = take_slice(text, true);
  if (!slice) return std::nullopt;
  const std::uint32_t unit = (*ns == 1 && *controller < 31)
                                 ? 224 + static_cast<std::uint32_t>(*controller)
                                 : 300000 + 1000 * static_cast<std::uint32_t>(*controller) +
                                       static_cast<std::uint32_t>(*ns);
  return BsdUnit{unit, *slice};
}

}  // namespace

std::optional<BsdUnit> unit_of_kernel_name(std::string_view name) {
  std::string_view rest = name;
  if (take_prefix(rest, "sd")) {
    const auto index = take_sd_letters(rest);
    const auto slice = take_slice(rest, false);
    if (!index || !slice) return std::nullopt;
    if (const auto unit = unit_in(kSd, *index)) return BsdUnit{*unit, *slice};
  } else if (take_prefix(rest, "loop")) {
    const auto index = take_number(rest);
    const auto slice = take_slice(rest, true);
    if (!index || !slice) return std::nullopt;
    if (const auto unit = unit_in(kLoop, *index)) return BsdUnit{*unit, *slice};
  } else if (take_prefix(rest, "sr")) {
    const auto index = take_number(rest);
    if (!index || !rest.empty()) return std::nullopt;
    if (const auto unit = unit_in(kSr, *index)) return BsdUnit{*unit, 0};
  } else if (take_prefix(rest, "nvme")) {
    return nvme_unit(rest);
  }
  return std::nullopt;
}

std::optional<std::string> kernel_name_of_unit(BsdUnit unit) {
  const std::string slice = unit.slice == 0 ? std::string() : std::to_string(unit.slice);
  if (unit.unit == kNone) return std::nullopt;
  if (const auto index = index_in(kSd, unit.unit)) return "sd" + sd_letters(*index) + slice;
  if (const auto index = index_in(kLoop, unit.unit)) {
    return "loop" + std::to_string(*index) + (slice.empty() ? "" : "p" + slice);
  }
  if (const auto index = index_in(kSr, unit.unit)) {
    if (unit.slice != 0) return std::nullopt;
    return "sr" + std::to_string(*index);
  }
  const std::string part = slice.empty() ? "" : "p" + slice;
  if (unit.unit >= 224 && unit.unit < 255) return "nvme" + std::to_string(unit.unit - 224) + "n1" + part;
  if (unit.unit >= 300000) {
    const std::uint32_t controller = (unit.unit - 300000) / 1000;
    const std::uint32_t ns = (unit.unit - 300000) % 1000;
    if (ns == 0 || (ns == 1 && controller < 31) || controller >= 4000) return std::nullopt;
    return "nvme" + std::to_string(controller) + "n" + std::to_string(ns) + part;
  }
  return std::nullopt;
}

std::optional<BsdUnit> parse_bsd_name(std::string_view name) {
  take_prefix(name, "/dev/");
  if (!take_prefix(name, "disk")) return std::nullopt;
  const auto unit = take_number(name);
  if (!unit || *unit > UINT32_MAX) return std::nullopt;
  if (name.empty()) return BsdUnit{static_cast<std::uint32_t>(*unit), 0};
  if (!take_prefix(name, "s")) return std::nullopt;
  const auto slice = take_number(name);
  if (!slice || *slice == 0 || !name.empty()) return std::nullopt;
  return BsdUnit{static_cast<std::uint32_t>(*unit), static_cast<std::uint32_t>(*slice)};
}

std::string bsd_name(BsdUnit unit) {
  std::string name = "disk" + std::to_string(unit.unit);
  if (unit.slice != 0) name += "s" + std::to_string(unit.slice);
  return name;
}

}  // namespace berth::linux_host
