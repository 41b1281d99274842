#include "lib/regctl/tool_runner.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#include "lib/regctl/tool_text.h"
#include "platform/services.h"

namespace berth {

double gToolTimeoutSeconds = kToolTimeoutSeconds;
double gIdentificationTimeoutSeconds = kIdentificationTimeoutSeconds;

namespace {

using Clock = std::chrono::steady_clock;

// How long the wait blocks on the tool between turns of the run loop.
constexpr double kRunLoopTurnSeconds = 0.02;

std::optional<Clock::time_point> gDeadline;

double seconds_until(Clock::time_point deadline) {
  return std::chrono::duration<double>(deadline - Clock::now()).count();
}

}  // namespace

IdentificationDeadline::IdentificationDeadline(double seconds) {
  gDeadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

IdentificationDeadline::~IdentificationDeadline() { gDeadline.reset(); }

// The time is real time, not the run loop's clock: a simulated loop's clock only moves
// when it is told to, while the tool runs in the real world.
bool waitUntilExitWithTimeout2(Task& task, double timeout) {
  RunLoopPort* loop = services().run_loop;
  if (!loop) return task.wait_for_exit(timeout);
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(std::clamp(timeout, 0.0, 1e6)));
  for (;;) {
    // What is due on the loop now; a loop run with no time to spare does not sleep.
    loop->run_until([&task] { return !task.is_running(); }, 0);
    const double left = seconds_until(deadline);
    if (task.wait_for_exit(std::clamp(left, 0.0, kRunLoopTurnSeconds))) return true;
    if (left <= kRunLoopTurnSeconds) return false;
  }
}

ToolOutput run_tool(const std::string& path, std::span<const std::string> arguments) {
  double timeout = gToolTimeoutSeconds;
  if (gDeadline) {
    timeout = std::min(timeout, seconds_until(*gDeadline));
    if (timeout <= 0) {
      err_printf("%s not run: drive identification is out of time\n", path.c_str());
      return {};
    }
  }
  ProcessesPort* processes = services().processes;
  const std::unique_ptr<Task> task = processes ? processes->launch(path, arguments) : nullptr;
  if (!task) {
    err_printf("%s cannot be launched\n", path.c_str());
    return {};
  }
  if (!waitUntilExitWithTimeout2(*task, timeout)) {
    task->terminate();
    return {};
  }
  ToolOutput output{true, task->read_output()};
  // Text that does not decode as UTF-8 is no text at all.
  if (!is_utf8(output.text)) output.text.clear();
  return output;
}

}  // namespace berth
