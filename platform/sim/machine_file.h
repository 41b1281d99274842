#pragma once
// A machine file: the JSON document that describes one simulated machine. Each sim
// backend reads its own section; every error names the file and the place in it.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace berth::sim {

using nlohmann::json;

class MachineFileError : public std::runtime_error {
 public:
  MachineFileError(std::string place, const std::string& message)
      : std::runtime_error(message), place_(std::move(place)) {}
  const std::string& place() const { return place_; }

 private:
  std::string place_;  // a JSON pointer such as /registry/roots/0/props/1
};

// Far beyond any real machine (the machine file of a real Mac Pro's registry has about
// 3 MB); larger files are refused before they are read.
inline constexpr std::size_t kMaxMachineFileBytes = 32 * 1024 * 1024;

struct MachineFile {
  std::string name;                // the path as given, or "<demo machine>"
  std::filesystem::path base_dir;  // what relative paths inside the file are relative to
  json doc;

  // Throws MachineFileError (place "" for a file that cannot be read or parsed).
  static MachineFile load(const std::filesystem::path& path);
  static MachineFile parse(std::string_view text, std::string name, std::filesystem::path base_dir);
};

// One line for the user: "FILE: at PLACE: MESSAGE".
std::string describe(const MachineFile& file, const MachineFileError& error);
std::string describe(std::string_view file_name, const MachineFileError& error);

// Readers that check the kind of a value and say where it was wrong.
std::string place_of(std::string_view parent, std::string_view key);
std::string place_of(std::string_view parent, std::size_t index);
// What was found instead of a wanted value: its kind ("string"), or "the number 1e+20".
std::string found_kind(const json& value);
const json* find(const json& object, std::string_view key);
const json& require(const json& object, std::string_view key, std::string_view place);
const json& require_object(const json& value, std::string_view place);
const json& require_array(const json& value, std::string_view place);
std::string require_string(const json& value, std::string_view place);
bool require_bool(const json& value, std::string_view place);
std::int64_t require_int(const json& value, std::string_view place);
// Bytes written as a string of hexadecimal digits, two a byte, blanks allowed.
std::vector<std::uint8_t> require_hex_bytes(const json& value, std::string_view place);
// A number, or a string holding a decimal or 0x-prefixed hexadecimal number.
std::uint64_t require_uint(const json& value, std::string_view place, std::uint64_t max);

}  // namespace berth::sim
