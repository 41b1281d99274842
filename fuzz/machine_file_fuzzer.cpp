// Fuzzes the machine file reader and every section's loader: whatever the text, it
// becomes a simulated machine or a MachineFileError with a message, never another
// exception, a crash or unbounded work; a machine that loads must scan and give back
// every iterator and property table it took.
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/machine_file.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/sim_machine.h"

namespace {

using namespace berth;

// A persistent flash writes its image back when the machine goes: an input must not
// make the fuzzer overwrite a file of its choosing.
void never_persist(sim::json& doc) {
  sim::json* driver = doc.is_object() && doc.contains("driver") ? &doc["driver"] : nullptr;
  if (!driver || !driver->is_object() || !driver->contains("services") || !(*driver)["services"].is_array()) return;
  for (auto& service : (*driver)["services"])
    if (service.is_object() && service.contains("flash") && service["flash"].is_object())
      service["flash"].erase("persist");
}

void check_scan(sim::SimMachine& machine) {
  sim::CaptureConsole console;
  sim::MemorySystemLog log;
  const ScopedServices installed(machine.services(Services{nullptr, &console, &log}));
  fuzz::scan_and_check("machine_file_fuzzer", machine.registry().counts(), false);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // Relative paths in the file (flash images, resources) resolve in an empty place.
  static const std::filesystem::path base = std::filesystem::temp_directory_path() / "berth-fuzz-empty";
  try {
    sim::MachineFile file = sim::MachineFile::parse(text, "fuzz.json", base);
    never_persist(file.doc);
    sim::SimMachine machine(file);
    check_scan(machine);
  } catch (const sim::MachineFileError& error) {
    if (std::string_view(error.what()).empty()) fuzz::fail("machine_file_fuzzer", "an error without a message");
  }
  return 0;
}
