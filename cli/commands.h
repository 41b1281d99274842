#pragma once
#include <vector>

#include "cli/cli_context.h"

namespace berth::cli {

// Each command takes the arguments after its name.
int cmd_scan(CliContext& context, std::vector<std::string_view> args);

}  // namespace berth::cli
