#include "tests/drive/drive_machine.h"

#include <fstream>

namespace berth::testing {

std::string listing_of(std::initializer_list<std::uint32_t> units) {
  std::string text = "/dev/disk0 (internal, physical):\n   #: TYPE NAME SIZE IDENTIFIER\n";
  for (const std::uint32_t unit : units)
    text += "/dev/disk" + std::to_string(unit) + " (external, physical):\n   0: GUID_partition_scheme *2.0 TB disk" +
            std::to_string(unit) + "\n";
  return text;
}

std::string key_line(const std::string& key, std::size_t offset, const std::string& value) {
  std::string pad(offset - key.size(), ' ');
  pad[pad.size() - 2] = ':';
  return key + pad + value + "\n";
}

std::string Report::text() const {
  return "Vantrel drive report\n" + matching + "\nFamily " + marker + "\n" + id_line +
         key_line("Version", 12, version) + key_line("SN", 7, serial) + key_line("Temperature", 16, temperature);
}

std::string quick_answer(const std::string& marker) { return "Vantrel quick check\nMatching " + marker + "\n"; }

DriveMachine& DriveMachine::disk(std::uint32_t unit, const std::string& media_name) {
  disks_.push_back({{"bsd", "disk" + std::to_string(unit)}, {"media_name", media_name}});
  default_listing_ += listing_of({unit}).substr(listing_of({}).size());
  return *this;
}

DriveMachine& DriveMachine::reports(std::uint32_t unit, json quick, json full) {
  reports_["/dev/disk" + std::to_string(unit)] = {{"ltr", std::move(quick)}, {"full", std::move(full)}};
  return *this;
}

DriveMachine& DriveMachine::drive(std::uint32_t unit, const Report& report, const std::string& media_name) {
  disk(unit, media_name);
  return reports(unit, quick_answer(report.marker), report.text());
}

DriveMachine& DriveMachine::listing(json answer) {
  listing_ = std::move(answer);
  return *this;
}

json DriveMachine::tools() const {
  return {{"diskutil_list", listing_.is_null() ? json(listing_of({}) + default_listing_) : listing_},
          {"reports", reports_}};
}

std::string DriveMachine::text() const { return json{{"disks", disks_}, {"tools", tools()}}.dump(); }

void rewrite_tools(SimFixture& fixture, const json& tools) {
  std::ofstream(fixture.machine().tools().tools_file(), std::ios::trunc) << tools.dump();
}

}  // namespace berth::testing
