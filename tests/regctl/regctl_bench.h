#pragma once
// A simulated controller on the test bench: a machine with register-control services, a connection open on the
// first and a dock record filled from it, and a log of its register accesses as "W A8=4", "R AC=9F2320".
#include <memory>

#include <nlohmann/json.hpp>

#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"
#include "lib/regctl/spi_flash.h"
#include "platform/services.h"
#include "tests/support/sim_fixture.h"
#include "tests/support/temp_dir.h"

namespace berth::testing {

using nlohmann::json;

// The dock's SATA controller (bus 134, 0x1B21:0x0612, flash 0x001330EF, an I2C device
// at 0x23), with `changes` merged in (RFC 7386: null removes a key).
inline json dock_controller(const json& changes = json::object()) {
  json service = {{"bus", 134}, {"dev", 0}, {"fun", 0}, {"vid", "0x1B21"}, {"did", "0x0612"}, {"sub_vid", "0x1AB6"},
                  {"sub_did", "0x1060"}, {"flash", {{"id", "0x001330EF"}}}, {"i2c", {{{"address", "0x23"}}}}};
  service.merge_patch(changes);
  return service;
}

// A machine file text with these driver services.
inline std::string driver_machine(const std::vector<json>& services) {
  return json{{"driver", {{"services", services}}}}.dump();
}

// Deterministic bytes that are neither all 0xFF nor all zero.
inline std::vector<std::uint8_t> pattern_bytes(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& b : bytes) b = static_cast<std::uint8_t>((state = state * 1664525u + 1013904223u) >> 24);
  return bytes;
}

inline std::string format_access(bool write, unsigned offset, std::uint32_t value) {
  return format("%c %X=%X", write ? 'W' : 'R', offset, value);
}

// Non-overlapping occurrences of part in text.
inline std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + part.size())) ++count;
  return count;
}

class RegctlBench {
 public:
  explicit RegctlBench(const json& service = dock_controller()) : RegctlBench(driver_machine({service})) {}
  explicit RegctlBench(const std::string& machine_text) : sim_(SimFixture::from_json(machine_text)) {
    sDevice& dev = *record_;
    dev.service = driver().service_handle(0);
    if (MyUserClientOpenExample(dev.service, &connect) != kIOReturnSuccess) return;
    My_get_bus_dev_fun_num(connect, &dev.bus_num, &dev.dev_num, &dev.fun_num);
    My_get_vid_did(connect, &dev.VID, &dev.DID);
    My_get_sub_vid_did(connect, &dev.SUB_VID, &dev.SUB_DID);
    get_VID_DID_9182_spi_flash(connect, &dev, &dev.spi_flash_id);
  }
  ~RegctlBench() {
    if (connect != 0) MyUserClientCloseExample(connect);
  }

  io_connect_t connect = 0;
  sDevice* dev() { return record_.get(); }
  sim::SimMachine& machine() { return sim_.machine(); }
  sim::SimDriver& driver() { return machine().driver(); }
  sim::SimController& controller() { return driver().controller(0); }
  sim::SimFlash& flash() { return *controller().flash(); }
  std::vector<std::uint8_t> flash_bytes() { return {flash().contents().begin(), flash().contents().end()}; }
  sim::CaptureConsole& console() { return sim_.console(); }

  // The register accesses from start_log() on, cleared as they are read.
  void start_log() { controller().clear_accesses(), controller().record_accesses(true); }
  std::vector<std::string> log() {
    std::vector<std::string> lines;
    for (const auto& a : controller().accesses()) lines.push_back(format_access(a.write, a.offset, a.value));
    controller().clear_accesses();
    return lines;
  }

 private:
  SimFixture sim_;
  std::unique_ptr<sDevice> record_ = std::make_unique<sDevice>();
};

// The "faults" member that fails the nth driver call after a bench's own setup calls.
inline json fail_call_after_setup(std::uint64_t n) {
  static const std::uint64_t setup = RegctlBench().driver().call_count(0);
  return {{"fail_call", setup + n}};
}

}  // namespace berth::testing
