#pragma once
// Loading the real dumps of tests/ioreg/dumps/ (and edited copies of them) into a
// simulated machine for a scan, and editing a dump's text the way a user would.
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/registry_model.h"
#include "platform/sim/sim_machine.h"
#include "tests/support/temp_dir.h"

namespace berth::testing {

std::string dumps_dir();
std::string read_dump(std::string_view file_name);  // a file of dumps_dir()
// A key or value as the tests compare it: its kind, then its text, number or bytes
// (bytes outside printable ASCII as \xNN); text without an 8-bit form is "wide text".
std::string shown(const PropertyValue& value);
// The tree one line per entry, two blanks a level: NAME[@LOCATION] <CLASS>, then " pci"
// when it matches IOPCIDevice, then " KEY=VALUE" per property (the value as shown()).
std::vector<std::string> outline(const sim::RegistryModel& model);
// The message of the error a dump text gives, "" when it loads.
std::string error_of(std::string_view dump);
// The Mac Pro 6,1 dump with the PCI bridge above its FL1100 (BR13) made an Intel
// Thunderbolt device (8086:1547) carrying the "Tunnel Endpoint GUID" `guid`, e.g.
// "<785634120a003d00>" for a dock of type 10.
std::string mac_pro6_with_dock(std::string_view guid);

// A machine whose registry is read from a dump, installed with a capturing console and
// an in-memory system log; the device tables start from zero.
class DumpMachine {
 public:
  explicit DumpMachine(std::string_view dump_text);
  sim::SimMachine& machine() { return *machine_; }
  sim::MemorySystemLog& log() { return log_; }

 private:
  sim::CaptureConsole console_;
  sim::MemorySystemLog log_;
  std::unique_ptr<sim::SimMachine> machine_;
  std::unique_ptr<ScopedServices> installed_;
};

// Replaces the value of `key` in the property block of the entry whose line holds
// `entry` (the edit fails the test when the entry or key is not there).
void set_property(std::string& dump, std::string_view entry, std::string_view key, std::string_view value);
// Adds `"key" = value` right after the line of `after_key` in that block.
void add_property(std::string& dump, std::string_view entry, std::string_view after_key, std::string_view key,
                  std::string_view value);

}  // namespace berth::testing
