// Fuzzes the sysfs reader on small trees, one entry a line: "d NAME", "f NAME CONTENTS"
// (\xHH for any byte), "l NAME TARGET", "p NAME" (a FIFO), made in a private temporary
// directory. Reading must end (no wait on a FIFO, no endless walk of a link loop) without
// throwing, its machine file must load back, and the scan must give back every handle.
#include <sys/stat.h>

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "platform/linux/sysfs_registry.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/memory_system_log.h"
#include "platform/sim/registry_json.h"

namespace {

using namespace berth;
using sim::json;
namespace fs = std::filesystem;

std::string unescape(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned byte = 0;
    const bool escape = text.substr(i, 2) == "\\x" && i + 4 <= text.size() &&
                        std::from_chars(&text[i + 2], &text[i + 4], byte, 16).ptr == &text[i + 4];
    bytes += escape ? static_cast<char>(byte) : text[i];
    i += escape ? 3 : 0;
  }
  return bytes;
}

// One line's entry, made only where nothing is yet and through no link or "..", so that
// no input makes the fuzzer write outside its directory.
void make(const fs::path& root, std::string_view line) {
  if (line.size() < 3 || line[1] != ' ' || line.find('\0') != std::string_view::npos) return;
  const std::size_t space = line.find(' ', 2);
  const std::string_view argument = space == std::string_view::npos ? "" : line.substr(space + 1);
  fs::path place = root;
  std::error_code error;
  for (const auto& part : fs::path(line.substr(2, space - 2)).relative_path()) {
    if (part == ".." || fs::is_symlink(place, error)) return;
    place /= part;
  }
  if (place == root || fs::exists(fs::symlink_status(place, error))) return;
  if (fs::create_directories(place.parent_path(), error); error) return;
  if (line[0] == 'd') fs::create_directory(place, error);
  if (line[0] == 'f') std::ofstream(place, std::ios::binary) << unescape(argument);
  if (line[0] == 'l') fs::create_symlink(std::string(argument), place, error);
  if (line[0] == 'p') ::mkfifo(place.c_str(), 0600);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path root = [] {
    std::string pattern = (fs::temp_directory_path() / "berth-sysfs-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) fuzz::fail("sysfs_fuzzer", "no private temporary directory");
    return fs::path(pattern);
  }();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
    end = std::min(text.find('\n', start), text.size());
    make(root, text.substr(start, end - start));
  }
  sim::CaptureConsole console;
  sim::MemorySystemLog log;
  const ScopedServices quiet(Services{nullptr, &console, &log});
  sim::RegistryModel model = linux_host::read_sysfs_registry(root);
  for (const auto& entry : fs::directory_iterator(root)) fs::remove_all(entry.path());
  // As sysfs-to-machine writes it (bytes that are not UTF-8 become U+FFFD) and --machine reads it.
  const std::string file =
      json{{"registry", sim::registry_to_json(model)}}.dump(-1, ' ', false, json::error_handler_t::replace);
  if (sim::registry_from_json(json::parse(file)["registry"], "/registry").roots.size() != model.roots.size())
    fuzz::fail("sysfs_fuzzer", "the machine file reads back with other roots");
  sim::SimRegistry registry(std::move(model));
  const ScopedServices installed(Services{&registry, &console, &log});
  fuzz::scan_and_check("sysfs_fuzzer", registry.counts(), true);
  return 0;
}
