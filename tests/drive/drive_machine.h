#pragma once
// Machines for the drive-identification tests: disks with media names, the disk
// utility's listing and the drive tools' reports, in the machine file's form.
#include <cstdint>
#include <initializer_list>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/support/sim_fixture.h"

namespace berth::testing {

using nlohmann::json;

// What the disk utility lists for these whole disks.
std::string listing_of(std::initializer_list<std::uint32_t> units);

// One report line: `value` starts `offset` characters after the key's first character.
std::string key_line(const std::string& key, std::size_t offset, const std::string& value);

// A full report of a drive of product family `marker` ("tm6721" or "tm478") whose
// matching line is `matching` (e.g. "Matching - 5").
struct Report {
  std::string marker = "tm6721";
  std::string matching = "Matching - 5";
  std::string id_line = key_line("id", 19, "0A1B2C3D");
  std::string version = "ZC1.05.0012B";
  std::string serial = "ZC0123456789ABCDEF";
  std::string temperature = "38";
  std::string text() const;
};

// The quick tool's answer for a drive of this family.
std::string quick_answer(const std::string& marker);

class DriveMachine {
 public:
  // A disk with this media name, listed by the disk utility.
  DriveMachine& disk(std::uint32_t unit, const std::string& media_name);
  // The answers of "Mervo_ltr" and "Mervo" for /dev/diskN (a text or an answer object).
  DriveMachine& reports(std::uint32_t unit, json quick, json full);
  // A drive of the maker: media name, quick answer and full report.
  DriveMachine& drive(std::uint32_t unit, const Report& report, const std::string& media_name = "Vantrel Zel Caddy");
  // Replaces the listing (by default, every disk added).
  DriveMachine& listing(json answer);

  json tools() const;
  std::string text() const;

 private:
  json disks_ = json::array();
  json reports_ = json::object();
  json listing_;
  std::string default_listing_;
};

// Gives the running tools a new "tools" section (they read it at every run).
void rewrite_tools(SimFixture& fixture, const json& tools);

}  // namespace berth::testing
