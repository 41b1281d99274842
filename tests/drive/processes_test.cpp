// The POSIX processes backend with real child processes: the time limit and
// termination, an output closed early, the child's environment, and nothing left
// behind. Prompt exit and a large output drained while waiting are checked through the
// drive tools (ACaddyDriveFillsItsRecord..., ALargeReportIsReadWhole).
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cerrno>
#include <filesystem>

#include "platform/posix/posix_processes.h"
#include "tests/drive/drive_test_support.h"

namespace berth {
namespace {

using testing::seconds_since;
using Clock = std::chrono::steady_clock;

std::unique_ptr<Task> shell(PosixProcesses& processes, const std::string& script) {
  const std::vector<std::string> arguments{"-c", script};
  return processes.launch("/bin/sh", arguments);
}

std::size_t open_descriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

TEST(PosixProcesses, AHangingProgramTimesOutAtTheLimitAndIsTerminated) {
  PosixProcesses processes;
  auto task = shell(processes, "exec sleep 30");
  ASSERT_TRUE(task);
  const auto start = Clock::now();
  EXPECT_FALSE(task->wait_for_exit(0.3));
  const double waited = seconds_since(start);
  EXPECT_GE(waited, 0.29);
  EXPECT_LT(waited, 1.5);
  EXPECT_TRUE(task->is_running());
  task->terminate();
  EXPECT_FALSE(task->is_running());
  EXPECT_LT(seconds_since(start), 2.0);
}

TEST(PosixProcesses, AProgramThatClosesItsOutputEarlyStillRunsUntilItEnds) {
  PosixProcesses processes;
  auto task = shell(processes, "exec >&-; sleep 0.3");
  ASSERT_TRUE(task);
  EXPECT_FALSE(task->wait_for_exit(0.1));
  EXPECT_TRUE(task->wait_for_exit(5.0));
  EXPECT_EQ(processes.launch("/nonexistent/diskutil", {}), nullptr) << "a program that cannot be started: no task";
}

TEST(PosixProcesses, ChildrenGetTheExtraEnvironmentAndNoTerminalInput) {
  PosixProcesses processes({"BERTH_TEST_VALUE=from the sim"});
  auto task = shell(processes, "printf '%s|' \"$BERTH_TEST_VALUE\"; cat");
  ASSERT_TRUE(task);
  ASSERT_TRUE(task->wait_for_exit(5.0));
  EXPECT_EQ(task->read_output(), "from the sim|");
}

TEST(PosixProcesses, NoZombieAndNoDescriptorIsLeftBehind) {
  PosixProcesses processes;
  const std::size_t before = open_descriptors();
  {
    auto ended = shell(processes, "true");
    auto running = shell(processes, "exec sleep 30");
    auto ignored = shell(processes, "trap '' TERM; echo armed; while :; do sleep 0.05; done");
    ASSERT_TRUE(ended && running && ignored);
    ASSERT_TRUE(ended->wait_for_exit(5.0));
    // Wait until the trap is set before the task is destroyed.
    const auto start = Clock::now();
    while (ignored->read_output().empty() && seconds_since(start) < 5) ignored->wait_for_exit(0.01);
  }  // destroying a running task terminates it, killing it when it ignores the request
  int status = 0;
  EXPECT_TRUE(::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD) << "a child is left";
  EXPECT_EQ(open_descriptors(), before);
}

}  // namespace
}  // namespace berth
