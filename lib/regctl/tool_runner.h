#pragma once
// Running the outside programs of drive identification: launch with the standard output
// on a pipe, a bounded wait, terminate on time-out, and the output as UTF-8 text.
#include <span>
#include <string>

#include "platform/processes_port.h"

namespace berth {

// Every tool run of drive identification waits this long for the tool's end.
inline constexpr double kToolTimeoutSeconds = 10.0;
// The wait every tool run uses; kToolTimeoutSeconds unless a test shortens it.
extern double gToolTimeoutSeconds;

// Waits for the task's end, at most `timeout` seconds; true when it is no longer
// running. The end is noticed as soon as it happens.
bool waitUntilExitWithTimeout2(Task& task, double timeout);

struct ToolOutput {
  bool finished = false;  // false: not launched, or terminated at the time limit
  std::string text;       // empty when the output is not UTF-8 text
};

// Runs `path` with `arguments` and, when it ends in time, reads its whole output.
ToolOutput run_tool(const std::string& path, std::span<const std::string> arguments);

}  // namespace berth
