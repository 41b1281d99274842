#include "tests/regctl/regctl_bench.h"

#include <cstdio>

#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"
#include "lib/regctl/spi_flash.h"

namespace berth::testing {

json dock_controller(const json& changes) {
  json service = {{"bus", 134},       {"dev", 0},           {"fun", 0},
                  {"vid", "0x1B21"},  {"did", "0x0612"},    {"sub_vid", "0x1AB6"},
                  {"sub_did", "0x1060"}, {"flash", {{"id", "0x001330EF"}}}, {"i2c", {{{"address", "0x23"}}}}};
  service.merge_patch(changes);
  return service;
}

std::string driver_machine(const std::vector<json>& services) {
  return json{{"driver", {{"services", services}}}}.dump();
}

std::vector<std::uint8_t> pattern_bytes(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t state = seed * 2654435761u + 1;
  for (auto& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<std::uint8_t>(state >> 24);
  }
  return bytes;
}

RegctlBench::RegctlBench(const json& service) : RegctlBench(driver_machine({service})) {}

RegctlBench::RegctlBench(const std::string& machine_text, std::size_t service_index)
    : sim_(SimFixture::from_json(machine_text)), index_(service_index) {
  sDevice& dev = *record_;
  dev.service = driver().service_handle(index_);
  if (MyUserClientOpenExample(dev.service, &connect) != kIOReturnSuccess) return;
  My_get_bus_dev_fun_num(connect, &dev.bus_num, &dev.dev_num, &dev.fun_num);
  My_get_vid_did(connect, &dev.VID, &dev.DID);
  My_get_sub_vid_did(connect, &dev.SUB_VID, &dev.SUB_DID);
  get_VID_DID_9182_spi_flash(connect, &dev, &dev.spi_flash_id);
}

RegctlBench::~RegctlBench() {
  if (connect != 0) MyUserClientCloseExample(connect);
}

void RegctlBench::start_log() {
  controller().clear_accesses();
  controller().record_accesses(true);
}

std::string format_access(bool write, unsigned offset, std::uint32_t value) {
  char line[32];
  std::snprintf(line, sizeof line, "%c %X=%X", write ? 'W' : 'R', offset, value);
  return line;
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + part.size())) ++count;
  return count;
}

json fail_call_after_setup(std::uint64_t n) {
  static const std::uint64_t setup = RegctlBench().driver().call_count(0);
  return {{"fail_call", setup + n}};
}

std::vector<std::string> RegctlBench::log() {
  std::vector<std::string> lines;
  for (const auto& access : controller().accesses())
    lines.push_back(format_access(access.write, access.offset, access.value));
  controller().clear_accesses();
  return lines;
}

}  // namespace berth::testing
