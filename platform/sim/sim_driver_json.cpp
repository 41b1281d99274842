#include "platform/sim/sim_driver_json.h"

#include "platform/posix/input_file.h"

namespace berth::sim {
namespace {

constexpr std::uint64_t kMax32 = 0xFFFFFFFF;

// A number under `key` when present, else `fallback`.
std::uint64_t optional_uint(const json& object, std::string_view key, std::string_view place, std::uint64_t max,
                            std::uint64_t fallback) {
  const json* value = find(object, key);
  return value ? require_uint(*value, place_of(place, key), max) : fallback;
}

bool optional_bool(const json& object, std::string_view key, std::string_view place) {
  const json* value = find(object, key);
  return value && require_bool(*value, place_of(place, key));
}

std::string read_image(const std::filesystem::path& path, std::string_view place) {
  try {
    return read_input_file(path, kSimFlashSize);
  } catch (const InputFileError& error) {
    throw MachineFileError(std::string(place), "the image " + path.string() + " " + error.what());
  }
}

void place_bytes(std::vector<std::uint8_t>& contents, std::uint64_t address, const std::vector<std::uint8_t>& bytes,
                 std::string_view place) {
  if (address + bytes.size() > contents.size())
    throw MachineFileError(std::string(place), "the bytes do not fit into the 512 KiB flash");
  std::copy(bytes.begin(), bytes.end(), contents.begin() + static_cast<std::ptrdiff_t>(address));
}

void apply_bytes_at(std::vector<std::uint8_t>& contents, const json& list, std::string_view place) {
  require_array(list, place);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = place_of(place, i);
    require_object(list[i], at);
    const std::uint64_t address = require_uint(require(list[i], "address", at), place_of(at, "address"), kSimFlashSize);
    const json* text = find(list[i], "text");
    const json* data = find(list[i], "data");
    if ((text == nullptr) == (data == nullptr)) throw MachineFileError(at, "give one of \"text\" and \"data\"");
    if (text) {
      const std::string characters = require_string(*text, place_of(at, "text"));
      place_bytes(contents, address, std::vector<std::uint8_t>(characters.begin(), characters.end()), at);
    } else {
      place_bytes(contents, address, require_hex_bytes(*data, place_of(at, "data")), at);
    }
  }
}

FlashConfig flash_from_json(const json& node, std::string_view place, const std::filesystem::path& base_dir) {
  require_object(node, place);
  FlashConfig flash;
  flash.present = true;
  flash.id = static_cast<std::uint32_t>(optional_uint(node, "id", place, kMax32, 0));
  const auto fill = static_cast<std::uint8_t>(optional_uint(node, "fill", place, 0xFF, 0xFF));
  flash.contents.assign(kSimFlashSize, fill);
  flash.persist = optional_bool(node, "persist", place);
  if (const json* image = find(node, "image")) {
    const std::string at = place_of(place, "image");
    flash.image = base_dir / require_string(*image, at);
    // An image that does not exist yet is the shortest image, all padding: an erased
    // flash (a persistent one writes its file at the end of the first run). Anything
    // that exists must be a readable image.
    std::error_code error;
    if (std::filesystem::exists(std::filesystem::symlink_status(flash.image, error))) {
      const auto bytes = read_image(flash.image, at);
      std::copy(bytes.begin(), bytes.end(), flash.contents.begin());
    }
  } else if (flash.persist) {
    throw MachineFileError(place_of(place, "persist"), "\"persist\" needs an \"image\" to write to");
  }
  if (const json* list = find(node, "bytes_at")) apply_bytes_at(flash.contents, *list, place_of(place, "bytes_at"));
  flash.busy_polls = static_cast<std::uint32_t>(optional_uint(node, "busy_polls", place, 1000000, 2));
  flash.spi_polls = static_cast<std::uint32_t>(optional_uint(node, "spi_polls", place, 1000, 1));
  flash.all_protected = optional_bool(node, "protected", place);
  if (const json* list = find(node, "stuck_zero")) {
    const std::string at = place_of(place, "stuck_zero");
    require_array(*list, at);
    for (std::size_t i = 0; i < list->size(); ++i)
      flash.stuck_zero.push_back(static_cast<std::uint32_t>(require_uint((*list)[i], place_of(at, i), kSimFlashSize - 1)));
  }
  return flash;
}

std::vector<I2cDeviceConfig> i2c_from_json(const json& list, std::string_view place) {
  require_array(list, place);
  std::vector<I2cDeviceConfig> devices;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::string at = place_of(place, i);
    require_object(list[i], at);
    I2cDeviceConfig device;
    device.address = static_cast<std::uint8_t>(require_uint(require(list[i], "address", at), place_of(at, "address"), 0x7F));
    if (const json* read = find(list[i], "read")) device.read_bytes = require_hex_bytes(*read, place_of(at, "read"));
    device.hold_scl = optional_bool(list[i], "hold_scl", at);
    devices.push_back(std::move(device));
  }
  return devices;
}

std::vector<std::uint32_t> selectors_from_json(const json& value, std::string_view place) {
  if (!value.is_array()) return {static_cast<std::uint32_t>(require_uint(value, place, kMax32))};
  std::vector<std::uint32_t> selectors;
  for (std::size_t i = 0; i < value.size(); ++i)
    selectors.push_back(static_cast<std::uint32_t>(require_uint(value[i], place_of(place, i), kMax32)));
  return selectors;
}

FaultConfig faults_from_json(const json& node, std::string_view place) {
  require_object(node, place);
  FaultConfig faults;
  faults.fail_call = optional_uint(node, "fail_call", place, UINT64_MAX, 0);
  if (const json* value = find(node, "fail_selector"))
    faults.fail_selectors = selectors_from_json(*value, place_of(place, "fail_selector"));
  faults.stuck_busy = optional_bool(node, "stuck_busy", place);
  faults.stuck_command = optional_bool(node, "stuck_command", place);
  return faults;
}

std::map<std::uint32_t, std::uint32_t> window_from_json(const json& node, std::string_view place) {
  require_object(node, place);
  std::map<std::uint32_t, std::uint32_t> registers;
  for (const auto& [key, value] : node.items()) {
    const std::string at = place_of(place, key);
    const auto index = static_cast<std::uint32_t>(require_uint(json(key), at, 0xFFFFFF));
    registers[index] = static_cast<std::uint32_t>(require_uint(value, at, kMax32));
  }
  return registers;
}

ServiceConfig service_from_json(const json& node, std::string_view place, const std::filesystem::path& base_dir) {
  require_object(node, place);
  ServiceConfig service;
  service.bus = static_cast<std::uint32_t>(optional_uint(node, "bus", place, 255, 0));
  service.dev = static_cast<std::uint32_t>(optional_uint(node, "dev", place, 31, 0));
  service.fun = static_cast<std::uint32_t>(optional_uint(node, "fun", place, 7, 0));
  service.vid = static_cast<std::uint32_t>(optional_uint(node, "vid", place, 0xFFFF, 0));
  service.did = static_cast<std::uint32_t>(optional_uint(node, "did", place, 0xFFFF, 0));
  service.sub_vid = static_cast<std::uint32_t>(optional_uint(node, "sub_vid", place, 0xFFFF, 0));
  service.sub_did = static_cast<std::uint32_t>(optional_uint(node, "sub_did", place, 0xFFFF, 0));
  service.open_status = static_cast<kern_return_t>(optional_uint(node, "open_status", place, kMax32, 0));
  if (const json* flash = find(node, "flash")) service.flash = flash_from_json(*flash, place_of(place, "flash"), base_dir);
  if (const json* i2c = find(node, "i2c")) service.i2c = i2c_from_json(*i2c, place_of(place, "i2c"));
  service.injector_state = static_cast<std::uint32_t>(optional_uint(node, "injector_state", place, kMax32, 0));
  if (const json* window = find(node, "window")) service.window = window_from_json(*window, place_of(place, "window"));
  if (const json* faults = find(node, "faults")) service.faults = faults_from_json(*faults, place_of(place, "faults"));
  return service;
}

}  // namespace

DriverConfig driver_from_json(const json& section, std::string_view place, const std::filesystem::path& base_dir) {
  require_object(section, place);
  DriverConfig config;
  config.matching_status = static_cast<kern_return_t>(optional_uint(section, "matching_status", place, kMax32, 0));
  if (const json* list = find(section, "services")) {
    const std::string at = place_of(place, "services");
    require_array(*list, at);
    if (list->size() > kMaxDriverServices)
      throw MachineFileError(at, "more than " + std::to_string(kMaxDriverServices) + " services");
    for (std::size_t i = 0; i < list->size(); ++i)
      config.services.push_back(service_from_json((*list)[i], place_of(at, i), base_dir));
  }
  return config;
}

}  // namespace berth::sim
