#include "tests/ioreg/dump_support.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/sim/ioreg_dump.h"
#include "tests/support/sim_fixture.h"

namespace berth::testing {
namespace {

// The start and end of the line of `key` in the block of `entry`; npos when absent.
std::pair<std::size_t, std::size_t> property_line(const std::string& dump, std::string_view entry, std::string_view key) {
  const auto at = dump.find(entry);
  EXPECT_NE(at, std::string::npos) << "no entry " << entry;
  if (at == std::string::npos) return {std::string::npos, std::string::npos};
  const auto next_entry = dump.find("+-o ", at + entry.size());
  const auto found = dump.find("\"" + std::string(key) + "\" = ", at);
  EXPECT_LT(found, next_entry) << "no " << key << " in " << entry;
  if (found >= next_entry) return {std::string::npos, std::string::npos};
  return {dump.rfind('\n', found) + 1, dump.find('\n', found)};
}

void outline_entry(const sim::RegistryEntry& entry, std::size_t depth, std::vector<std::string>& lines) {
  std::string line = std::string(2 * depth, ' ') + entry.name + (entry.location.empty() ? "" : "@" + entry.location);
  line += " <" + entry.class_name + ">" + (entry.is_of_class("IOPCIDevice") ? " pci" : "");
  for (const auto& p : entry.props) line += " " + p.key.text + "=" + shown(p.value);
  lines.push_back(line);
  for (const auto& child : entry.children) outline_entry(child, depth + 1, lines);
}

}  // namespace

std::string shown(const PropertyValue& value) {
  switch (value.kind) {
    case ValueKind::text: return (value.c_string_ptr() ? "text " : "wide text ") + value.text;
    case ValueKind::number: return "number " + std::to_string(value.number);
    case ValueKind::data: {
      std::string text = "data ";
      for (const std::uint8_t byte : value.bytes) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
        text += byte >= 0x20 && byte < 0x7F && byte != '\\' ? std::string(1, static_cast<char>(byte)) : escaped;
      }
      return text;
    }
    case ValueKind::other: break;
  }
  return "other " + value.text;
}

std::vector<std::string> outline(const sim::RegistryModel& model) {
  std::vector<std::string> lines;
  for (const auto& root : model.roots) outline_entry(root, 0, lines);
  return lines;
}

std::string dumps_dir() { return BERTH_TEST_DUMPS_DIR; }

std::string read_dump(std::string_view file_name) { return read_file(dumps_dir() + "/" + std::string(file_name)); }

std::string error_of(std::string_view dump) {
  try {
    sim::registry_from_ioreg(dump);
  } catch (const sim::IoregDumpError& error) {
    return error.what();
  }
  return "";
}

std::string mac_pro6_with_dock(std::string_view guid) {
  std::string text = read_dump("MacPro6,1.txt");
  const std::string br13 = "+-o BR13@1  <class IOPCIDevice";
  set_property(text, br13, "vendor-id", "<86800000>");
  set_property(text, br13, "device-id", "<47150000>");
  add_property(text, br13, "device-id", "Tunnel Endpoint GUID", guid);
  return text;
}

DumpMachine::DumpMachine(std::string_view dump_text) {
  reset_device_tables();
  machine_ = std::make_unique<sim::SimMachine>(sim::MachineFile::parse("{}", "<dump>", dumps_dir()),
                                               sim::registry_from_ioreg(dump_text));
  installed_ = std::make_unique<ScopedServices>(machine_->services(Services{nullptr, &console_, &log_}));
}

void set_property(std::string& dump, std::string_view entry, std::string_view key, std::string_view value) {
  const auto [start, end] = property_line(dump, entry, key);
  if (start == std::string::npos) return;
  const auto value_at = dump.find("\" = ", start) + 4;
  dump.replace(value_at, end - value_at, value);
}

void add_property(std::string& dump, std::string_view entry, std::string_view after_key, std::string_view key,
                  std::string_view value) {
  const auto [start, end] = property_line(dump, entry, after_key);
  if (start == std::string::npos) return;
  const std::string drawing = dump.substr(start, dump.find('"', start) - start);
  dump.insert(end + 1, drawing + "\"" + std::string(key) + "\" = " + std::string(value) + "\n");
}

}  // namespace berth::testing
