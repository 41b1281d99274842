#pragma once
// A simulated controller on the test bench: a machine with register-control services,
// a connection open on one of them and a dock record filled from it, plus readable
// forms of the register-access and call logs.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "lib/discovery/device_tables.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace berth::testing {

using nlohmann::json;

// The dock's SATA controller (bus 134, 0x1B21:0x0612, flash 0x001330EF, an I2C device
// at 0x23), with `changes` merged in (RFC 7386: null removes a key).
json dock_controller(const json& changes = json::object());
// A machine file text with these driver services.
std::string driver_machine(const std::vector<json>& services);

// Deterministic bytes that are neither all 0xFF nor all zero.
std::vector<std::uint8_t> pattern_bytes(std::size_t size, std::uint32_t seed);

// One register access as the bench's log shows it: "W A8=4", "R AC=9F2320".
std::string format_access(bool write, unsigned offset, std::uint32_t value);
// Non-overlapping occurrences of part in text.
std::size_t count_of(const std::string& text, const std::string& part);
// The "faults" member that fails the nth driver call after a bench's own setup calls.
json fail_call_after_setup(std::uint64_t n);

class RegctlBench {
 public:
  explicit RegctlBench(const json& service = dock_controller());
  explicit RegctlBench(const std::string& machine_text, std::size_t service_index = 0);
  ~RegctlBench();

  io_connect_t connect = 0;
  sDevice* dev() { return record_.get(); }

  sim::SimDriver& driver() { return sim_.machine().driver(); }
  sim::SimController& controller() { return driver().controller(index_); }
  sim::SimFlash& flash() { return *controller().flash(); }
  sim::CaptureConsole& console() { return sim_.console(); }
  sim::SimMachine& machine() { return sim_.machine(); }

  // Register accesses from now on, as "W A8=4", "R AC=9F2320" (hex, no padding).
  void start_log();
  std::vector<std::string> log();

 private:
  SimFixture sim_;
  std::size_t index_;
  std::unique_ptr<sDevice> record_ = std::make_unique<sDevice>();
};

}  // namespace berth::testing
