#include "tests/ioreg/dump_support.h"

#include <gtest/gtest.h>

#include "platform/sim/ioreg_dump.h"
#include "platform/sim/registry_json.h"
#include "tests/support/temp_dir.h"

namespace berth::testing {
namespace {

// The start and end of the line of `key` in the block of `entry`; npos when absent.
std::pair<std::size_t, std::size_t> property_line(const std::string& dump, std::string_view entry, std::string_view key) {
  const auto at = dump.find(entry);
  const auto found = at == std::string::npos ? at : dump.find("\"" + std::string(key) + "\" = ", at);
  if (found == std::string::npos || found > dump.find("+-o ", at + entry.size())) {
    ADD_FAILURE() << "no " << key << " in " << entry;
    return {std::string::npos, std::string::npos};
  }
  return {dump.rfind('\n', found) + 1, dump.find('\n', found)};
}

}  // namespace

std::string dumps_dir() { return BERTH_TEST_DUMPS_DIR; }

std::string read_dump(std::string_view file_name) { return read_file(dumps_dir() + "/" + std::string(file_name)); }

SimFixture dump_machine(std::string_view dump) {
  return SimFixture::from_json(nlohmann::json{{"registry", sim::registry_to_json(sim::registry_from_ioreg(dump))}}.dump());
}

void set_property(std::string& dump, std::string_view entry, std::string_view key, std::string_view value) {
  const auto [start, end] = property_line(dump, entry, key);
  if (start == std::string::npos) return;
  const auto value_at = dump.find("\" = ", start) + 4;
  dump.replace(value_at, end - value_at, value);
}

std::string mac_pro6_with_dock(std::string_view guid) {
  std::string text = read_dump("MacPro6,1.txt");
  const std::string br13 = "+-o BR13@1  <class IOPCIDevice";
  set_property(text, br13, "vendor-id", "<86800000>");
  set_property(text, br13, "device-id", "<47150000>");
  // The GUID goes on a line of its own after "device-id", drawn as that line is.
  const auto [start, end] = property_line(text, br13, "device-id");
  const std::string drawing = text.substr(start, text.find('"', start) - start);
  text.insert(end + 1, drawing + "\"Tunnel Endpoint GUID\" = " + std::string(guid) + "\n");
  return text;
}

}  // namespace berth::testing
