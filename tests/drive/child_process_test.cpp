// The POSIX processes backend with real child processes: the time limit and
// termination (taking what the tool started with it, also when the program running it
// is interrupted), an output closed early, the child's environment, and nothing left
// behind; the run loop keeps turning while a tool runs, and one deadline bounds a whole
// identification. Prompt exit and a large output drained while waiting are checked
// through the drive tools (ACaddyDriveFillsItsRecord..., ALargeReportIsReadWhole).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "lib/regctl/tool_runner.h"
#include "platform/posix/child_groups.h"
#include "platform/posix/posix_processes.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/sim_run_loop.h"
#include "tests/drive/drive_test_support.h"

namespace berth {
namespace {

using testing::seconds_since;
using Clock = std::chrono::steady_clock;

const std::string kShell = "/bin/sh";

// Gone, or a zombie that nobody reaps in a container without an init: not running.
bool ended(pid_t pid) {
  for (int tries = 0; tries < 200; ++tries) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string pid_text, name, state;
    if (!(stat >> pid_text >> name >> state) || state == "Z") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// The shell prints the pid of a sleep it started in the background, then waits.
const std::vector<std::string> kStartsASleep{"-c", "sleep 30 & echo $!; wait"};

pid_t first_number(const std::string& text) { return static_cast<pid_t>(std::atoi(text.c_str())); }

// A program that runs a tool and is then interrupted (a child of this test, which
// reports the tool's sleep through a pipe).
pid_t interrupted_runner(int report) {
  const pid_t runner = ::fork();
  if (runner != 0) return runner;
  kill_child_groups_on_interrupt();
  PosixProcesses processes;
  auto task = processes.launch(kShell, kStartsASleep);
  if (task) task->wait_for_exit(0.3);
  const std::string pid = task ? task->read_output() : "0\n";
  if (::write(report, pid.data(), pid.size()) < 0) ::_exit(3);
  for (;;) ::pause();
}

TEST(ToolGroups, AnInterruptedProgramTakesItsToolsWithIt) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const pid_t runner = interrupted_runner(ends[1]);
    ::close(ends[1]);
    pollfd watched{ends[0], POLLIN, 0};
    ASSERT_EQ(::poll(&watched, 1, 10000), 1);
    char text[32] = {};
    ASSERT_GT(::read(ends[0], text, sizeof text - 1), 0);
    ::close(ends[0]);
    const pid_t sleeper = first_number(text);
    ASSERT_GT(sleeper, 0);
    ::kill(runner, signal_number);
    int status = 0;
    ASSERT_EQ(::waitpid(runner, &status, 0), runner);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
    EXPECT_TRUE(ended(sleeper));
    ::kill(sleeper, SIGKILL);  // whatever the outcome, nothing is left running
  }
}

struct ToolTest : ::testing::Test {
  PosixProcesses processes;
  sim::SimRunLoop loop;
  sim::CaptureConsole console;
  ScopedServices installed{[this] {
    Services ports = services();
    ports.processes = &processes;
    ports.run_loop = &loop;
    ports.console = &console;
    return ports;
  }()};
  void TearDown() override { gToolTimeoutSeconds = kToolTimeoutSeconds; }
};

TEST_F(ToolTest, TheRunLoopTurnsWhileAToolRuns) {
  bool turned_while_running = false;
  loop.perform([&] { turned_while_running = true; });
  const std::vector<std::string> arguments{"-c", "sleep 0.3; echo done"};
  const ToolOutput output = run_tool(kShell, arguments);
  EXPECT_TRUE(output.finished);
  EXPECT_EQ(output.text, "done\n");
  EXPECT_TRUE(turned_while_running);
}

TEST_F(ToolTest, OneDeadlineEndsAWholeIdentification) {
  gToolTimeoutSeconds = 0.3;
  const std::vector<std::string> hang{"-c", "exec sleep 30"};
  std::size_t unfinished = 0;
  {
    const IdentificationDeadline deadline(0.5);
    for (int run = 0; run < 6; ++run) unfinished += !run_tool(kShell, hang).finished;
  }
  EXPECT_EQ(unfinished, 6u);
  // Two or three runs fit into the deadline; the others are not started.
  const std::string& err = console.err();
  EXPECT_GE(std::count(err.begin(), err.end(), '\n'), 3);
  EXPECT_TRUE(err.starts_with("/bin/sh not run: drive identification is out of time\n")) << err;
}

std::unique_ptr<Task> shell(PosixProcesses& processes, const std::string& script) {
  const std::vector<std::string> arguments{"-c", script};
  return processes.launch(kShell, arguments);
}

std::size_t open_descriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

TEST(PosixProcesses, AHangingProgramTimesOutAtTheLimitAndIsTerminatedWithWhatItStarted) {
  PosixProcesses processes;
  auto task = processes.launch(kShell, kStartsASleep);
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
  const pid_t sleeper = first_number(task->read_output());
  ASSERT_GT(sleeper, 0);
  EXPECT_TRUE(ended(sleeper));
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
