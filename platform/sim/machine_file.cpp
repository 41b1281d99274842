#include "platform/sim/machine_file.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>

namespace berth::sim {

MachineFile MachineFile::load(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw MachineFileError("", "cannot open the file");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw MachineFileError("", "cannot read the file");
  return parse(text.str(), path.string(), path.parent_path());
}

MachineFile MachineFile::parse(std::string_view text, std::string name, std::filesystem::path base_dir) {
  MachineFile file{std::move(name), std::move(base_dir), {}};
  try {
    file.doc = json::parse(text);
  } catch (const json::parse_error& error) {
    std::string message = error.what();
    // nlohmann prefixes its own category; the position is what the user needs.
    if (const auto pos = message.find("parse error"); pos != std::string::npos) message = message.substr(pos);
    throw MachineFileError("", "malformed JSON: " + message);
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

static std::string kind_name(const json& value) { return value.type_name(); }

const json& require_object(const json& value, std::string_view place) {
  if (!value.is_object()) throw MachineFileError(std::string(place), "expected an object, found " + kind_name(value));
  return value;
}

const json& require_array(const json& value, std::string_view place) {
  if (!value.is_array()) throw MachineFileError(std::string(place), "expected an array, found " + kind_name(value));
  return value;
}

std::string require_string(const json& value, std::string_view place) {
  if (!value.is_string()) throw MachineFileError(std::string(place), "expected a string, found " + kind_name(value));
  return value.get<std::string>();
}

bool require_bool(const json& value, std::string_view place) {
  if (!value.is_boolean()) throw MachineFileError(std::string(place), "expected true or false, found " + kind_name(value));
  return value.get<bool>();
}

std::int64_t require_int(const json& value, std::string_view place) {
  if (value.is_number_integer()) return value.get<std::int64_t>();
  if (value.is_number_unsigned()) return static_cast<std::int64_t>(value.get<std::uint64_t>());
  throw MachineFileError(std::string(place), "expected an integer, found " + kind_name(value));
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
    throw MachineFileError(std::string(place), "expected a number, found \"" + text + "\"");
  return result;
}

std::uint64_t require_uint(const json& value, std::string_view place, std::uint64_t max) {
  std::uint64_t result = 0;
  if (value.is_number_unsigned()) {
    result = value.get<std::uint64_t>();
  } else if (value.is_number_integer()) {
    const auto signed_value = value.get<std::int64_t>();
    if (signed_value < 0) throw MachineFileError(std::string(place), "expected a number of at least 0");
    result = static_cast<std::uint64_t>(signed_value);
  } else if (value.is_string()) {
    result = parse_unsigned_text(value.get<std::string>(), place);
  } else {
    throw MachineFileError(std::string(place), "expected a number, found " + kind_name(value));
  }
  if (result > max) throw MachineFileError(std::string(place), "number out of range (at most " + std::to_string(max) + ")");
  return result;
}

}  // namespace berth::sim
