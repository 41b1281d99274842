// The port-injector check: when the driver bundle's port-injector property list names
// a Vantrel string, the driver's selector-4 state is read and moved on.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "lib/regctl/regctl_interface.h"
#include "lib/regctl/regctl_tool.h"
#include "lib/regctl/tmp_files.h"
#include "platform/services.h"

namespace berth {
namespace {

constexpr std::uint32_t kNoPropertyList = 15;
constexpr std::uint32_t kInjectorUnavailable = 13;

std::string property_list_path() {
  ResourcesPort* resources = services().resources;
  std::string path = resources ? resources->port_injector_plist_path() : std::string();
  return path.empty() ? std::string(kPortInjectorPlistPath) : path;
}

// True when a whitespace-separated token carries "Vantrel" from its ninth character
// on (the first eight are the opening tag of a string value); nothing when the list
// cannot be opened. A token longer than the 99 characters of the buffer is read in
// pieces, each piece tested as a token.
std::optional<bool> property_list_names_vantrel() {
  const FilePtr file(std::fopen(property_list_path().c_str(), "r"));
  if (!file) return std::nullopt;
  char token[100] = {};
  bool found = false;
  while (std::fscanf(file.get(), "%99s", token) == 1)
    if (std::strncmp(token + 8, "Vantrel", 7) == 0) found = true;
  return found;
}

}  // namespace

void MyScalarIScalarOExample(io_connect_t connect) {
  const std::optional<bool> found = property_list_names_vantrel();
  if (!found) {
    write_out(format("NULL resultNumber %d\n", kNoPropertyList));
    return;
  }
  if (!*found) return;
  std::uint32_t state = 0;
  if (MyScalarIScalarO(connect, 0, 0, &state) != kIOReturnSuccess || state == kInjectorUnavailable) return;
  std::uint32_t ignored = 0;
  if (state == 0 || state == 2) MyScalarIScalarO(connect, 1, 0, &ignored);
  if (state == 1 || state == 2) MyScalarIScalarO(connect, 0, 1, &ignored);
}

}  // namespace berth
