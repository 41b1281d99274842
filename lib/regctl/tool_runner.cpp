#include "lib/regctl/tool_runner.h"

#include <memory>

#include "lib/regctl/tool_text.h"
#include "platform/services.h"

namespace berth {

double gToolTimeoutSeconds = kToolTimeoutSeconds;

bool waitUntilExitWithTimeout2(Task& task, double timeout) { return task.wait_for_exit(timeout); }

ToolOutput run_tool(const std::string& path, std::span<const std::string> arguments) {
  ProcessesPort* processes = services().processes;
  const std::unique_ptr<Task> task = processes ? processes->launch(path, arguments) : nullptr;
  if (!task) {
    err_printf("%s cannot be launched\n", path.c_str());
    return {};
  }
  if (!waitUntilExitWithTimeout2(*task, gToolTimeoutSeconds)) {
    task->terminate();
    return {};
  }
  ToolOutput output{true, task->read_output()};
  // Text that does not decode as UTF-8 is no text at all.
  if (!is_utf8(output.text)) output.text.clear();
  return output;
}

}  // namespace berth
