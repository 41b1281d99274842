#pragma once
// A simulated machine installed for one test: its ports, a capturing console and an
// in-memory system log. The device tables start from zero bytes for every test.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/sim/capture_console.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/sim_machine.h"

namespace berth::testing {

std::filesystem::path machines_dir();
// Zeroes the working tables, the dock table and their counts.
void reset_device_tables();

class SimFixture {
 public:
  // A machine file of tests/machines/, or a JSON text given inline.
  static SimFixture from_file(const std::string& name);
  static SimFixture from_json(const std::string& text);

  sim::SimMachine& machine() { return *machine_; }
  sim::CaptureConsole& console() { return *console_; }
  sim::MemorySystemLog& log() { return *log_; }

 private:
  explicit SimFixture(const sim::MachineFile& file);

  std::unique_ptr<sim::CaptureConsole> console_;
  std::unique_ptr<sim::MemorySystemLog> log_;
  std::unique_ptr<sim::SimMachine> machine_;
  std::unique_ptr<ScopedServices> installed_;
};

}  // namespace berth::testing
