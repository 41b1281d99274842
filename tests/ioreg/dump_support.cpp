#include "tests/ioreg/dump_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

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

}  // namespace

std::string dumps_dir() { return BERTH_TEST_DUMPS_DIR; }

std::string read_dump(std::string_view file_name) {
  std::ifstream in(dumps_dir() + "/" + std::string(file_name), std::ios::binary);
  EXPECT_TRUE(in) << file_name;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
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
