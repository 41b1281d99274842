#include "platform/posix/posix_task.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>

#include "platform/posix/child_groups.h"

namespace berth {
namespace {

using Clock = std::chrono::steady_clock;

// Without a process descriptor the end of a child that keeps its pipe open (or has
// closed it early) is noticed by looking again after this many milliseconds.
constexpr int kFallbackStepMs = 5;
// How long a terminated child has to exit on its own before it is killed.
constexpr int kTerminateGraceMs = 1000;

int open_process_fd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

int milliseconds_until(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

}  // namespace

PosixTask::PosixTask(pid_t pid, UniqueFd output)
    : pid_(pid), output_fd_(std::move(output)), process_fd_(open_process_fd(pid)) {
  remember_child_group(pid_);
}

void PosixTask::reaped() {
  reaped_ = true;
  process_fd_.reset();
  forget_child_group(pid_);
}

PosixTask::~PosixTask() {
  if (!reaped_) terminate();
}

bool PosixTask::is_running() {
  if (reaped_) return false;
  int status = 0;
  pid_t done = 0;
  do done = ::waitpid(pid_, &status, WNOHANG);
  while (done < 0 && errno == EINTR);
  // A pid that is no longer our child (ECHILD) is not running either.
  if (done == pid_ || done < 0) reaped();
  return !reaped_;
}

void PosixTask::drain() {
  std::array<char, 65536> buffer;
  while (output_fd_.valid()) {
    const ssize_t got = ::read(output_fd_.get(), buffer.data(), buffer.size());
    if (got > 0) {
      const std::size_t room = kOutputCapacity - std::min(kOutputCapacity, output_.size());
      output_.append(buffer.data(), std::min(room, static_cast<std::size_t>(got)));
    } else if (got == 0) {
      output_fd_.reset();
    } else if (errno != EINTR) {
      if (errno != EAGAIN && errno != EWOULDBLOCK) output_fd_.reset();
      return;
    }
  }
}

void PosixTask::await_event(int milliseconds) {
  std::array<pollfd, 2> watched{};
  nfds_t count = 0;
  if (output_fd_.valid()) watched[count++] = pollfd{output_fd_.get(), POLLIN, 0};
  if (process_fd_.valid()) watched[count++] = pollfd{process_fd_.get(), POLLIN, 0};
  if (!process_fd_.valid()) milliseconds = std::min(milliseconds, kFallbackStepMs);
  // EINTR simply ends this turn; the caller looks again.
  ::poll(watched.data(), count, milliseconds);
}

bool PosixTask::wait_for_exit(double seconds) {
  const auto limit = std::chrono::duration<double>(std::isfinite(seconds) ? std::max(seconds, 0.0) : 0.0);
  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(limit);
  while (is_running()) {
    drain();
    const int left = milliseconds_until(deadline);
    if (left == 0) return false;
    await_event(left);
  }
  drain();
  return true;
}

// The whole group goes: whatever the program started ends with it. The group's id is
// the program's pid, which the system keeps reserved while any member lives.
void PosixTask::terminate() {
  if (!is_running()) return;
  ::kill(-pid_, SIGTERM);
  const auto deadline = Clock::now() + std::chrono::milliseconds(kTerminateGraceMs);
  while (is_running() && milliseconds_until(deadline) > 0) {
    drain();
    await_event(milliseconds_until(deadline));
  }
  // Members that outlived the program, or ignored the request, are killed.
  ::kill(-pid_, SIGKILL);
  if (reaped_) return;
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  reaped();
}

std::string PosixTask::read_output() {
  drain();
  return output_;
}

}  // namespace berth
