#pragma once
// What the drive tests share: machines with disks, the disk utility's listing and the
// drive tools' reports in the machine file's form; the library's globals back at their
// start values with a short tool time limit; the fields of a slot by name.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "lib/discovery/device_tables.h"
#include "lib/regctl/drive_identification.h"
#include "lib/regctl/tool_runner.h"
#include "tests/support/sim_fixture.h"

namespace berth::testing {

using nlohmann::json;

// One report line: `value` starts `offset` characters after the key's first character.
inline std::string key_line(const std::string& key, std::size_t offset, const std::string& value) {
  std::string pad(offset - key.size(), ' ');
  pad[pad.size() - 2] = ':';
  return key + pad + value + "\n";
}

// A full report of a drive of family `marker` ("tm6721" or "tm478").
struct Report {
  std::string marker = "tm6721";
  std::string matching = "Matching - 5";
  std::string id_line = key_line("id", 19, "0A1B2C3D");
  std::string serial = "ZC0123456789ABCDEF";
  std::string text() const {
    return "Vantrel drive report\n" + matching + "\nFamily " + marker + "\n" + id_line +
           key_line("Version", 12, "ZC1.05.0012B") + key_line("SN", 7, serial) + key_line("Temperature", 16, "38");
  }
};

// The quick tool's answer for a drive of this family.
inline std::string quick_answer(const std::string& marker) { return "Vantrel quick check\nMatching " + marker + "\n"; }

class DriveMachine {
 public:
  // A disk with this media name, listed by the disk utility.
  DriveMachine& disk(std::uint32_t unit, const std::string& media_name) {
    const std::string n = std::to_string(unit);
    disks_.push_back({{"bsd", "disk" + n}, {"media_name", media_name}});
    listing_ = listing_.get<std::string>() + "/dev/disk" + n + " (external, physical):\n   0: GUID disk" + n + "\n";
    return *this;
  }
  // The answers of "Mervo_ltr" and "Mervo" for /dev/diskN (a text or an answer object).
  DriveMachine& reports(std::uint32_t unit, json quick, json full) {
    reports_["/dev/disk" + std::to_string(unit)] = {{"ltr", std::move(quick)}, {"full", std::move(full)}};
    return *this;
  }
  // A drive of the maker: media name, quick answer and full report.
  DriveMachine& drive(std::uint32_t unit, const Report& report = {}, const std::string& media = "Vantrel Zel Caddy") {
    return disk(unit, media).reports(unit, quick_answer(report.marker), report.text());
  }
  json tools() const { return {{"diskutil_list", listing_}, {"reports", reports_}}; }
  std::string text() const { return json{{"disks", disks_}, {"tools", tools()}}.dump(); }

 private:
  json disks_ = json::array();
  json reports_ = json::object();
  json listing_ = "/dev/disk0 (internal, physical):\n   #: TYPE NAME SIZE IDENTIFIER\n";
};

class DriveTest : public ::testing::Test {
 protected:
  void SetUp() override { gToolTimeoutSeconds = 5.0; }
  void TearDown() override { gToolTimeoutSeconds = kToolTimeoutSeconds; }

  // A fresh machine with empty tables and the cache globals at their start values. The
  // machine before goes first: its ports must not be restored over the new ones.
  SimFixture& install(const std::string& text) {
    fixture_.reset();
    fixture_.emplace(SimFixture::from_json(text));
    Old_Txxx_Nodes = kNoNodesYet;
    New_Node = Old_Node = 0;
    return *fixture_;
  }
  // Gives the running tools a new "tools" section (they read it at every run).
  void rewrite_tools(const json& tools) { ASSERT_TRUE(fixture_->machine().tools().rewrite(tools)); }
  // Full-report runs ("Mervo") since the machine was installed.
  std::size_t full_runs() { return std::ranges::count(fixture_->log().lines(), "Mervo _ SMART \n"); }

  std::optional<SimFixture> fixture_;
};

inline const sDevice& record(std::uint32_t slot) { return vtr_device_list[slot].dev; }
template <std::size_t N>
std::string text_of(const char (&field)[N]) { return {field, strnlen(field, N)}; }
inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// One port of a record as expect_fields() shows it.
inline json disk(std::uint32_t unit, std::string model = "", std::string serial = "", std::uint32_t info_d = 0) {
  return {{"bsd_unit", unit}, {"model", model}, {"serial", serial}, {"info_d", info_d}};
}

// The ports of a drive record: the drive on the first, the others never written.
inline json drive_ports(json drive) { return json::array({std::move(drive), disk(0), disk(0), disk(0)}); }

// Checks the fields of a slot that `expected` names (the driver scan's and drive
// identification's, as the record holds them), compared at once so a failure shows all.
inline void expect_fields(std::uint32_t slot, const json& expected) {
  const sDevice& d = record(slot);
  json sata = json::array();
  for (const sDiskInfo& port : d.sata_disk)
    sata.push_back(disk(port.bsd_unit, text_of(port.model), text_of(port.serial), port.info_d));
  const json all{{"valid", vtr_device_list[slot].valid}, {"is_drive_product", unsigned{d.is_drive_product}},
                 {"dev_kind", d.dev_kind}, {"bus_num", d.bus_num}, {"dev_num", d.dev_num}, {"fun_num", d.fun_num},
                 {"service", d.service}, {"service_thunderbolt", d.service_thunderbolt}, {"VID", d.VID},
                 {"DID", d.DID}, {"SUB_VID", d.SUB_VID}, {"SUB_DID", d.SUB_DID}, {"spi_flash_id", d.spi_flash_id},
                 {"bios_ver", text_of(d.bios_ver)}, {"disk_cnt", d.disk_cnt}, {"isGUIDValid", d.isGUIDValid},
                 {"TB_GUID_high", d.TB_GUID_high}, {"TB_GUID_low", d.TB_GUID_low}, {"sata", sata}};
  json actual = json::object();
  for (const auto& [key, value] : expected.items()) actual[key] = all.at(key);
  EXPECT_EQ(actual, expected) << "slot " << slot;
}

}  // namespace berth::testing
