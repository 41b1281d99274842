// The tools as real child processes: terminated with what they started at the time
// limit or when the program is interrupted, one deadline for a whole identification,
// and nothing left behind (prompt ends and large outputs: through the drive tools).
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>

#include "lib/regctl/tool_runner.h"
#include "platform/posix/child_groups.h"
#include "platform/posix/posix_processes.h"
#include "platform/services.h"
#include "platform/sim/capture_console.h"
#include "platform/sim/sim_run_loop.h"
#include "platform/sim/sim_tools.h"
#include "tests/drive/drive_test_support.h"

namespace berth {
namespace {

using testing::seconds_since;

const std::string kShell = "/bin/sh";

std::unique_ptr<Task> shell(ProcessesPort& processes, const std::string& script) {
  return processes.launch(kShell, std::vector<std::string>{"-c", script});
}

// The shell prints the pid of a sleep it started in the background, then waits.
const char* const kStartsASleep = "sleep 30 & echo $!; wait";

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

TEST(ToolGroups, AnInterruptedProgramTakesItsToolsWithIt) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const pid_t runner = ::fork();
    if (runner == 0) {  // runs a tool, reports the tool's sleep and waits to be interrupted
      kill_child_groups_on_interrupt();
      PosixProcesses processes;
      auto task = shell(processes, kStartsASleep);
      if (task) task->wait_for_exit(0.3);
      const std::string pid = task ? task->read_output() : "0\n";
      if (::write(ends[1], pid.data(), pid.size()) < 0) ::_exit(3);
      for (;;) ::pause();
    }
    ::close(ends[1]);
    char text[32] = {};
    ASSERT_GT(::read(ends[0], text, sizeof text - 1), 0);  // ends at the runner's end, if it dies
    ::close(ends[0]);
    const pid_t sleeper = std::atoi(text);
    ASSERT_GT(sleeper, 0);
    ::kill(runner, signal_number);
    int status = 0;
    ASSERT_EQ(::waitpid(runner, &status, 0), runner);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number);
    EXPECT_TRUE(ended(sleeper));
    ::kill(sleeper, SIGKILL);  // whatever the outcome, nothing is left running
  }
}

TEST(ToolRuns, TheRunLoopTurnsWhileAToolRunsAndOneDeadlineEndsAWholeIdentification) {
  PosixProcesses processes;
  sim::SimRunLoop loop;
  sim::CaptureConsole console;
  Services ports = services();
  ports.processes = &processes;
  ports.run_loop = &loop;
  ports.console = &console;
  const ScopedServices installed{ports};
  bool turned_while_running = false;
  loop.perform([&] { turned_while_running = true; });
  const ToolOutput output = run_tool(kShell, std::vector<std::string>{"-c", "sleep 0.3; echo done"});
  EXPECT_TRUE(output.finished);
  EXPECT_EQ(output.text, "done\n");
  EXPECT_TRUE(turned_while_running);

  // Six runs of 0.3 s each would take 1.8 s: the deadline ends them all by 0.5 s, and the
  // runs it leaves no time for are not started.
  gToolTimeoutSeconds = 0.3;
  const std::vector<std::string> hang{"-c", "exec sleep 30"};
  std::size_t unfinished = 0;
  const auto start = std::chrono::steady_clock::now();
  {
    const IdentificationDeadline deadline(0.5);
    for (int run = 0; run < 6; ++run) unfinished += !run_tool(kShell, hang).finished;
  }
  gToolTimeoutSeconds = kToolTimeoutSeconds;
  EXPECT_LT(seconds_since(start), 1.2);
  EXPECT_EQ(unfinished, 6u);
  EXPECT_TRUE(console.err().starts_with("/bin/sh not run: drive identification is out of time\n")) << console.err();
}

std::size_t open_descriptors() {
  const std::filesystem::directory_iterator fds("/proc/self/fd");
  return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

// Children run with the extra environment and no terminal input until they end, not
// until their output closes. A tool that hangs is terminated with what it started (its
// wait's timing is checked through the drive tools); a task destroyed while it runs is
// ended, by force if it ignores the request; no zombie and no descriptor is left.
TEST(PosixProcesses, ChildrenRunUntilTheyEndOrAreTerminatedWithWhatTheyStartedLeavingNothing) {
  PosixProcesses processes({"BERTH_TEST_VALUE=from the sim"});
  const std::size_t before = open_descriptors();
  {
    EXPECT_EQ(processes.launch("/nonexistent/diskutil", {}), nullptr) << "a program that cannot be started: no task";
    auto done = shell(processes, "printf '%s|' \"$BERTH_TEST_VALUE\"; cat; exec >&-; sleep 0.3");
    auto hanging = shell(processes, kStartsASleep);
    auto running = shell(processes, "exec sleep 30");
    auto ignored = shell(processes, "trap '' TERM; echo armed; while :; do sleep 0.05; done");
    ASSERT_TRUE(hanging && done && running && ignored);
    EXPECT_FALSE(done->wait_for_exit(0.1)) << "an output closed early is no end";
    EXPECT_FALSE(hanging->wait_for_exit(0.3));
    EXPECT_TRUE(hanging->is_running());
    hanging->terminate();
    EXPECT_FALSE(hanging->is_running());
    const pid_t sleeper = std::atoi(hanging->read_output().c_str());
    ASSERT_GT(sleeper, 0);
    EXPECT_TRUE(ended(sleeper));
    ASSERT_TRUE(done->wait_for_exit(5.0));
    EXPECT_EQ(done->read_output(), "from the sim|");
    // Wait until the trap is set before the task is destroyed.
    const auto start = std::chrono::steady_clock::now();
    while (ignored->read_output().empty() && seconds_since(start) < 5) ignored->wait_for_exit(0.01);
  }
  int status = 0;
  EXPECT_TRUE(::waitpid(-1, &status, WNOHANG) < 0 && errno == ECHILD) << "a child is left";
  EXPECT_EQ(open_descriptors(), before);
}

// A file with a name in the temporary directory would outlive a killed program: every
// tool process reads the section from a file without one.
TEST(SimTools, EveryToolReadsTheToolsSectionFromAFileWithoutAName) {
  const sim::json section = sim::json::parse(R"({"diskutil_list": "/dev/disk4\n"})");
  sim::SimTools tools(section, "/tools");
  for (int child = 0; child < 2; ++child) {
    const auto task = shell(tools.processes(), "cat \"$BERTH_SIM_TOOLS\"");
    ASSERT_TRUE(task && task->wait_for_exit(10));
    EXPECT_EQ(sim::json::parse(task->read_output()), section);
  }
  EXPECT_FALSE(tools.tools_file().starts_with(std::filesystem::temp_directory_path().string()));
}

}  // namespace
}  // namespace berth
