#include "cli/cli_context.h"

#include <algorithm>
#include <cstdio>

#include "platform/services.h"

namespace berth::cli {

bool take_flag(std::vector<std::string_view>& args, std::string_view name) {
  const auto it = std::find(args.begin(), args.end(), name);
  if (it == args.end()) return false;
  args.erase(it);
  return true;
}

std::optional<std::string> take_option(std::vector<std::string_view>& args, std::string_view name) {
  const auto it = std::find(args.begin(), args.end(), name);
  if (it == args.end()) return std::nullopt;
  if (it + 1 == args.end()) throw UsageError{std::string(name) + " needs a value"};
  std::string value(*(it + 1));
  args.erase(it, it + 2);
  return value;
}

void expect_no_more(const std::vector<std::string_view>& args) {
  if (!args.empty()) throw UsageError{"unexpected argument \"" + std::string(args.front()) + "\""};
}

void print_json(const nlohmann::ordered_json& document) {
  // Texts come from drives, firmware and registries: bytes that are not UTF-8 are
  // shown as U+FFFD rather than making the document impossible to write.
  write_out(document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
}

std::string hex32(std::uint32_t value) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

}  // namespace berth::cli
