#pragma once
// Running the outside programs of drive identification: launch with the standard output
// on a pipe, a bounded wait that keeps the caller's run loop going, terminate on
// time-out, and the output as UTF-8 text.
#include <span>
#include <string>

#include "platform/processes_port.h"

namespace berth {

// Every tool run of drive identification waits this long for the tool's end.
inline constexpr double kToolTimeoutSeconds = 10.0;
// The wait every tool run uses; kToolTimeoutSeconds unless a test shortens it.
extern double gToolTimeoutSeconds;
// A whole identification runs one listing and up to two tools for each of 31 disks:
// ten minutes at ten seconds each. It gets this long in all (a test may shorten it).
inline constexpr double kIdentificationTimeoutSeconds = 30.0;
extern double gIdentificationTimeoutSeconds;

// Waits for the task's end, at most `timeout` seconds; true when it is no longer
// running. The end is noticed as soon as it happens, and meanwhile the caller's run
// loop (when one is installed) runs every few milliseconds, so a window on it stays
// alive.
bool waitUntilExitWithTimeout2(Task& task, double timeout);

// While one lives, every tool run ends by its deadline: a run's wait is cut to the time
// left, and no tool is started once it has passed. Identifications do not nest.
class IdentificationDeadline {
 public:
  explicit IdentificationDeadline(double seconds);
  ~IdentificationDeadline();
  IdentificationDeadline(const IdentificationDeadline&) = delete;
  IdentificationDeadline& operator=(const IdentificationDeadline&) = delete;
};

struct ToolOutput {
  bool finished = false;  // false: not launched, or terminated at the time limit
  std::string text;       // empty when the output is not UTF-8 text
};

// Runs `path` with `arguments` and, when it ends in time, reads its whole output.
ToolOutput run_tool(const std::string& path, std::span<const std::string> arguments);

}  // namespace berth
