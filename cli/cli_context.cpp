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

std::string_view take_action(std::vector<std::string_view>& args, std::initializer_list<std::string_view> valued) {
  for (auto it = args.begin(); it != args.end(); ++it) {
    if (!it->starts_with("--")) {
      const std::string_view action = *it;
      args.erase(it);
      return action;
    }
    if (std::find(valued.begin(), valued.end(), *it) != valued.end() && ++it == args.end()) break;
  }
  return {};
}

void expect_no_more(const std::vector<std::string_view>& args) {
  if (!args.empty()) throw UsageError{"unexpected argument \"" + std::string(args.front()) + "\""};
}

namespace {
// The console the JSON document goes to while a JsonOnlyStdout lives.
ConsolePort* document_console = nullptr;
}  // namespace

void print_json(const nlohmann::ordered_json& document) {
  // Texts come from drives, firmware and registries: bytes that are not UTF-8 are
  // shown as U+FFFD rather than making the document impossible to write.
  const std::string text = document.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  if (document_console) document_console->write(Stream::out, text);
  else write_out(text);
}

JsonOnlyStdout::JsonOnlyStdout() : real_(services().console), diverted_(*real_) {
  document_console = real_;
  services().console = &diverted_;
}

JsonOnlyStdout::~JsonOnlyStdout() {
  services().console = real_;
  document_console = nullptr;
}

void JsonOnlyStdout::Diverted::write(Stream stream, std::string_view text) {
  real_.write(stream == Stream::out ? Stream::err : stream, text);
}

std::optional<std::uint32_t> JsonOnlyStdout::Diverted::terminal_columns(Stream stream) {
  return real_.terminal_columns(stream == Stream::out ? Stream::err : stream);
}

std::string printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const bool c1_control = c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80;
    if (c1_control) {  // U+0080 to U+009F in UTF-8: terminals obey some of them too
      shown += format("\\u%04x", static_cast<unsigned char>(text[++i]));
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c == '\r') {
      shown += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      shown += format("\\x%02x", c);
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

void print_error(std::string_view message) { write_err("berthctl: " + printable(message) + "\n"); }

std::string hex32(std::uint32_t value) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

}  // namespace berth::cli
