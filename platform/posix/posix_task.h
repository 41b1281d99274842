#pragma once
// One child process started by PosixProcesses: its pid, the read end of its output
// pipe and, where the kernel offers one, a process descriptor that becomes readable
// when the child ends.
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/posix/unique_fd.h"
#include "platform/processes_port.h"

namespace berth {

class PosixTask final : public Task {
 public:
  // Takes the child `pid` and the read end of its output pipe.
  PosixTask(pid_t pid, UniqueFd output);
  ~PosixTask() override;
  PosixTask(const PosixTask&) = delete;
  PosixTask& operator=(const PosixTask&) = delete;

  bool is_running() override;
  bool wait_for_exit(double seconds) override;
  void terminate() override;
  std::string read_output() override;

  // Output beyond this is read and dropped, so a runaway child cannot exhaust memory.
  static constexpr std::size_t kOutputCapacity = std::size_t{64} << 20;

 private:
  void reaped();
  // Reads whatever the pipe holds now, without blocking; closes it at its end.
  void drain();
  // Sleeps until output arrives, the child ends or `milliseconds` pass.
  void await_event(int milliseconds);

  pid_t pid_;
  UniqueFd output_fd_;
  UniqueFd process_fd_;  // none when the kernel has no process descriptors
  bool reaped_ = false;
  std::string output_;
};

}  // namespace berth
