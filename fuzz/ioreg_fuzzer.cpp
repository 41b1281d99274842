// Fuzzes the reader of ioreg dumps and everything a dump then goes through: the
// machine file written from it must read back as the same registry, and the scan must
// run on it and give back every iterator and property table it took. Inputs the
// reader rejects must be rejected with its own error, never anything else.
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/ioreg_dump.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/registry_json.h"
#include "platform/sim/sim_registry.h"

namespace {

using namespace berth;

[[noreturn]] void fail(const char* what) { fuzz::fail("ioreg_fuzzer", what); }

bool same_value(const PropertyValue& a, const PropertyValue& b) {
  return a.kind == b.kind && a.has_8bit_text == b.has_8bit_text && a.text == b.text && a.bytes == b.bytes &&
         a.number == b.number;
}

bool same_entry(const sim::RegistryEntry& a, const sim::RegistryEntry& b) {
  if (a.name != b.name || a.location != b.location || a.class_name != b.class_name || a.inherits != b.inherits ||
      a.props.size() != b.props.size() || a.children.size() != b.children.size())
    return false;
  for (std::size_t i = 0; i < a.props.size(); ++i)
    if (!same_value(a.props[i].key, b.props[i].key) || !same_value(a.props[i].value, b.props[i].value)) return false;
  for (std::size_t i = 0; i < a.children.size(); ++i)
    if (!same_entry(a.children[i], b.children[i])) return false;
  return true;
}

// What berthctl ioreg-to-machine writes, and what --machine reads back.
void check_machine_file(const sim::RegistryModel& model) {
  const sim::json section = sim::registry_to_json(model);
  const std::string text = sim::json{{"registry", section}}.dump(2, ' ', false, sim::json::error_handler_t::replace);
  if (text.empty()) fail("empty machine file");
  const sim::RegistryModel back = sim::registry_from_json(section, "/registry");
  if (back.roots.size() != model.roots.size()) fail("machine file lost roots");
  for (std::size_t i = 0; i < model.roots.size(); ++i)
    if (!same_entry(model.roots[i], back.roots[i])) fail("machine file reads back as another registry");
}

void check_scan(sim::RegistryModel model) {
  sim::SimRegistry registry(std::move(model));
  sim::CaptureConsole console;
  sim::MemorySystemLog log;
  const ScopedServices installed(Services{&registry, &console, &log});
  fuzz::scan_and_check("ioreg_fuzzer", registry.counts(), true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  sim::RegistryModel model;
  try {
    model = sim::registry_from_ioreg(text);
  } catch (const sim::IoregDumpError& error) {
    if (std::string_view(error.what()).empty()) fail("an error without a message");
    return 0;
  }
  check_machine_file(model);
  check_scan(std::move(model));
  return 0;
}
