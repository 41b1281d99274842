#pragma once
// What every drive-identification test shares: the library's globals back at their
// start values, a short tool time limit, and counts of the tool runs seen in the log.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "lib/discovery/device_tables.h"
#include "lib/regctl/drive_identification.h"
#include "lib/regctl/tool_runner.h"
#include "tests/drive/drive_machine.h"

namespace berth::testing {

class DriveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Old_Txxx_Nodes = kNoNodesYet;
    New_Node = 0;
    Old_Node = 0;
    gToolTimeoutSeconds = 5.0;
  }
  void TearDown() override { gToolTimeoutSeconds = kToolTimeoutSeconds; }

  SimFixture& install(const DriveMachine& machine) { return install_json(machine.text()); }
  // The machine before goes first: its ports must not be restored over the new ones.
  SimFixture& install_json(const std::string& text) {
    fixture_.reset();
    fixture_.emplace(SimFixture::from_json(text));
    return *fixture_;
  }

  // Full-report runs ("Mervo") since the machine was installed.
  std::size_t full_runs() {
    const auto& lines = fixture_->log().lines();
    return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), "Mervo _ SMART \n"));
  }

  std::optional<SimFixture> fixture_;
};

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

inline std::string text_of(const char* field) { return field; }

}  // namespace berth::testing
