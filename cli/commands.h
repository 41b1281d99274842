#pragma once
#include <vector>

#include "cli/cli_context.h"

namespace berth::cli {

// Each command takes the arguments after its name.
int cmd_scan(CliContext& context, std::vector<std::string_view> args);
int cmd_ioreg_to_machine(CliContext& context, std::vector<std::string_view> args);

// berthctl --ioreg FILE: the machine whose registry is read from a dump that ioreg
// printed, every other part of it empty. Prints one line and returns false when the
// dump cannot be read.
bool use_dump_machine(CliContext& context, const std::string& path);

}  // namespace berth::cli
