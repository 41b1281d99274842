#pragma once
// A registry from the text that `ioreg -l` (with or without -w0) prints of a real
// machine: the entries of the IOService plane with their properties, loaded into the
// same registry model a machine file gives, so the simulated registry can serve it.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/sim/registry_model.h"

namespace berth::sim {

// Dumps of real machines have 1 to 3 MB; larger files are refused before they are read.
inline constexpr std::size_t kMaxIoregDumpBytes = 32 * 1024 * 1024;

// A dump that cannot be read, or is malformed or cut short. line() is the line where
// the fault shows (0 when it concerns the whole file).
class IoregDumpError : public std::runtime_error {
 public:
  IoregDumpError(std::size_t line, const std::string& message);
  std::size_t line() const { return line_; }

 private:
  std::size_t line_;
};

// Throws IoregDumpError.
RegistryModel registry_from_ioreg(std::string_view text);
RegistryModel load_ioreg_dump(const std::filesystem::path& path);

// One line for the user: "FILE: line N: MESSAGE".
std::string describe(std::string_view file_name, const IoregDumpError& error);

}  // namespace berth::sim
