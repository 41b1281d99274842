#pragma once
// What every berthctl command gets: the machine it runs on, its own arguments and
// the output conventions (human text, or one JSON document on the last line).
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

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
// Writes one JSON document as the last line of standard output.
void print_json(const nlohmann::ordered_json& document);
std::string hex32(std::uint32_t value);  // "0x0000ABCD"

}  // namespace berth::cli
