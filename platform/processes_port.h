#pragma once
// Child processes as the drive identification runs its outside tools: launch a program
// with arguments and its standard output on a pipe, know whether it still runs, wait a
// bounded time for its end, terminate it, and read everything it wrote.
#include <memory>
#include <span>
#include <string>

namespace berth {

// One launched program. Destroying a task that still runs terminates it; either way the
// child is reaped and its pipe closed, so no task leaves a zombie or a descriptor behind.
class Task {
 public:
  virtual ~Task() = default;
  virtual bool is_running() = 0;
  // Blocks until the program has ended or `seconds` have passed, whichever comes first;
  // true when it has ended. Its output is collected meanwhile, so a program that writes
  // more than a pipe holds is not stalled by the wait.
  virtual bool wait_for_exit(double seconds) = 0;
  // Ends the program (it gets the chance to exit cleanly first) and reaps it.
  virtual void terminate() = 0;
  // Everything the program wrote on its standard output, once it has ended.
  virtual std::string read_output() = 0;
};

class ProcessesPort {
 public:
  virtual ~ProcessesPort() = default;
  // Starts `path` with `arguments` (the program name is not among them); nothing when the
  // program cannot be started.
  virtual std::unique_ptr<Task> launch(const std::string& path, std::span<const std::string> arguments) = 0;
};

}  // namespace berth
