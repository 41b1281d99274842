#pragma once
// What every berthctl command gets: the machine it runs on, its own arguments and
// the output conventions (human text, or one JSON document on the last line).
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "platform/console_port.h"
#include "platform/machine/machine.h"

namespace berth::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct CliContext {
  std::unique_ptr<machine::Machine> machine;
  bool trace = false;
};

// Thrown by a command for bad arguments: berthctl prints the message, exits 2.
struct UsageError {
  std::string message;
};

using Args = std::span<const std::string_view>;

// Takes "--name" out of args; true when it was there.
bool take_flag(std::vector<std::string_view>& args, std::string_view name);
// Takes "--name VALUE" out of args; empty when absent, UsageError when the value is.
std::optional<std::string> take_option(std::vector<std::string_view>& args, std::string_view name);
// UsageError when anything is left.
void expect_no_more(const std::vector<std::string_view>& args);
// Removes and returns a command's sub-action ("id" of `flash id`) wherever it stands
// among the options: the first argument that is no option ("--name") and no value of
// one of the `valued` options. "" when there is none.
std::string_view take_action(std::vector<std::string_view>& args, std::initializer_list<std::string_view> valued);
// Writes one JSON document as the last line of standard output.
void print_json(const nlohmann::ordered_json& document);

// While one lives, standard output carries the JSON document alone: every other line
// written to it (the library's diagnostics, such as a table overflow) goes to
// standard error, so a caller can parse what --json prints.
class JsonOnlyStdout {
 public:
  JsonOnlyStdout();
  ~JsonOnlyStdout();
  JsonOnlyStdout(const JsonOnlyStdout&) = delete;
  JsonOnlyStdout& operator=(const JsonOnlyStdout&) = delete;

 private:
  class Diverted : public ConsolePort {
   public:
    explicit Diverted(ConsolePort& real) : real_(real) {}
    void write(Stream stream, std::string_view text) override;
    std::optional<std::uint32_t> terminal_columns(Stream stream) override;

   private:
    ConsolePort& real_;
  };
  ConsolePort* real_;
  Diverted diverted_;
};

// Text from inputs (file names, machine files, tool output, flash contents) as it may
// be shown on a terminal: control characters are written as escapes ("\x1b", "\n"),
// so no input can move the cursor, clear the screen or break a line in two.
std::string printable(std::string_view text);
// "berthctl: MESSAGE" as one line on standard error.
void print_error(std::string_view message);
std::string hex32(std::uint32_t value);  // "0x0000ABCD"

}  // namespace berth::cli
