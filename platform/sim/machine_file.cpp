#include "platform/sim/machine_file.h"

#include <cctype>
#include <charconv>
#include <limits>

#include "platform/posix/input_file.h"

namespace berth::sim {
namespace {

// Arrays and objects nested deeper than this are refused before the document is
// built: every reader and writer of a machine file may then recurse safely.
constexpr std::size_t kMaxJsonNesting = 1024;

void check_nesting(std::string_view text) {
  std::size_t depth = 0;
  std::size_t line = 1;
  bool in_string = false;
  bool escaped = false;
  for (const char c : text) {
    if (c == '\n') ++line;
    if (in_string) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') in_string = false;
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonNesting)
        throw MachineFileError("", "arrays and objects nested more than " + std::to_string(kMaxJsonNesting) +
                                       " deep (line " + std::to_string(line) + ")");
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
}

// nlohmann prefixes its own category ("[json.exception.parse_error.101] "); what
// follows it is what the user needs.
std::string without_category(const json::exception& error) {
  const std::string message = error.what();
  const auto end = message.find("] ");
  return end == std::string::npos ? message : message.substr(end + 2);
}

}  // namespace

MachineFile MachineFile::load(const std::filesystem::path& path) {
  std::string text;
  try {
    text = read_input_file(path, kMaxMachineFileBytes);
  } catch (const InputFileError& error) {
    throw MachineFileError("", error.what());
  }
  return parse(text, path.string(), path.parent_path());
}

MachineFile MachineFile::parse(std::string_view text, std::string name, std::filesystem::path base_dir) {
  MachineFile file{std::move(name), std::move(base_dir), {}};
  check_nesting(text);
  try {
    file.doc = json::parse(text);
  } catch (const json::parse_error& error) {
    throw MachineFileError("", "malformed JSON: " + without_category(error));
  } catch (const json::exception& error) {
    throw MachineFileError("", without_category(error));  // "number overflow parsing '1e400'"
  }
  if (!file.doc.is_object()) throw MachineFileError("", "the document must be a JSON object");
  return file;
}

std::string describe(std::string_view file_name, const MachineFileError& error) {
  std::string line(file_name);
  if (!error.place().empty()) line += ": at " + error.place();
  line += ": ";
  line += error.what();
  return line;
}

std::string describe(const MachineFile& file, const MachineFileError& error) { return describe(file.name, error); }

std::string place_of(std::string_view parent, std::string_view key) {
  return std::string(parent) + "/" + std::string(key);
}

std::string place_of(std::string_view parent, std::size_t index) {
  return std::string(parent) + "/" + std::to_string(index);
}

const json* find(const json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

const json& require(const json& object, std::string_view key, std::string_view place) {
  if (const json* value = find(object, key)) return *value;
  throw MachineFileError(std::string(place), "missing \"" + std::string(key) + "\"");
}

std::string found_kind(const json& value) {
  return value.is_number() ? "the number " + value.dump() : value.type_name();
}

const json& require_object(const json& value, std::string_view place) {
  if (!value.is_object()) throw MachineFileError(std::string(place), "expected an object, found " + found_kind(value));
  return value;
}

const json& require_array(const json& value, std::string_view place) {
  if (!value.is_array()) throw MachineFileError(std::string(place), "expected an array, found " + found_kind(value));
  return value;
}

std::string require_string(const json& value, std::string_view place) {
  if (!value.is_string()) throw MachineFileError(std::string(place), "expected a string, found " + found_kind(value));
  return value.get<std::string>();
}

bool require_bool(const json& value, std::string_view place) {
  if (!value.is_boolean()) throw MachineFileError(std::string(place), "expected true or false, found " + found_kind(value));
  return value.get<bool>();
}

std::int64_t require_int(const json& value, std::string_view place) {
  constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
  // A value from 2^63 on is unsigned to the parser; taken as signed it would wrap.
  if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(kMax))
    throw MachineFileError(std::string(place), "expected a signed 64-bit integer, found " + found_kind(value) +
                                                   " (at most " + std::to_string(kMax) + ")");
  if (value.is_number_integer()) return value.get<std::int64_t>();
  throw MachineFileError(std::string(place), "expected a signed 64-bit integer, found " + found_kind(value));
}

std::vector<std::uint8_t> require_hex_bytes(const json& value, std::string_view place) {
  const std::string text = require_string(value, place);
  std::string digits;
  for (const char c : text) {
    if (std::isspace(static_cast<unsigned char>(c))) continue;
    if (!std::isxdigit(static_cast<unsigned char>(c)))
      throw MachineFileError(std::string(place), "data must be hexadecimal digits, found '" + std::string(1, c) + "'");
    digits += c;
  }
  if (digits.size() % 2 != 0) throw MachineFileError(std::string(place), "data must have an even number of hex digits");
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

static std::uint64_t parse_unsigned_text(const std::string& text, std::string_view place) {
  std::string_view digits = text;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  std::uint64_t result = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), result, base);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size())
    throw MachineFileError(std::string(place),
                           "expected a decimal or 0x-prefixed hexadecimal number, found \"" + text + "\"");
  return result;
}

std::uint64_t require_uint(const json& value, std::string_view place, std::uint64_t max) {
  std::uint64_t result = 0;
  if (value.is_number_unsigned()) {
    result = value.get<std::uint64_t>();
  } else if (value.is_number_integer()) {
    const auto signed_value = value.get<std::int64_t>();
    if (signed_value < 0)
      throw MachineFileError(std::string(place), "expected a number from 0 to " + std::to_string(max) + ", found " +
                                                     found_kind(value));
    result = static_cast<std::uint64_t>(signed_value);
  } else if (value.is_string()) {
    result = parse_unsigned_text(value.get<std::string>(), place);
  } else {
    throw MachineFileError(std::string(place), "expected a whole number from 0 to " + std::to_string(max) +
                                                   ", found " + found_kind(value));
  }
  if (result > max)
    throw MachineFileError(std::string(place), "number out of range: " + std::to_string(result) + " (at most " +
                                                   std::to_string(max) + ")");
  return result;
}

}  // namespace berth::sim
