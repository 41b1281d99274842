// The tools' process groups: what a tool starts ends with it on a time-out and when
// the program running it is interrupted; the run loop keeps turning while a tool runs;
// and one deadline bounds a whole identification.
#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "lib/regctl/tool_runner.h"
#include "platform/posix/child_groups.h"
#include "platform/posix/posix_processes.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/sim_run_loop.h"

namespace berth {
namespace {

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

TEST(ToolGroups, ATimedOutToolTakesWhatItStartedWithIt) {
  PosixProcesses processes;
  auto task = processes.launch(kShell, kStartsASleep);
  ASSERT_TRUE(task);
  EXPECT_FALSE(task->wait_for_exit(0.3));
  task->terminate();
  const pid_t sleeper = first_number(task->read_output());
  ASSERT_GT(sleeper, 0);
  EXPECT_TRUE(ended(sleeper));
}

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

}  // namespace
}  // namespace berth
