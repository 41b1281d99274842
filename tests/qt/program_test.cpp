// The berthline-utility program itself: its command line, and what it does where no
// display or system tray can show it: it says so and prints the status menu exactly
// as `berthctl menu` does, and exits normally.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "app/qt/program_options.h"

extern char** environ;

namespace berth::qt {
namespace {

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a program with this process's environment less the display variables, plus `extra`.
ProgramRun run(const std::string& program, std::vector<std::string> args, const std::vector<std::string>& extra = {}) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string_view text(*entry);
    if (!text.starts_with("DISPLAY=") && !text.starts_with("WAYLAND_DISPLAY=") && !text.starts_with("QT_QPA_PLATFORM="))
      environment.emplace_back(text);
  }
  environment.insert(environment.end(), extra.begin(), extra.end());
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const auto dir = std::filesystem::temp_directory_path() / ("berth-program-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string out = (dir / "out").string();
  const std::string err = (dir / "err").string();
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ProgramRun result;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = read_file(out);
  result.err = read_file(err);
  std::filesystem::remove_all(dir);
  return result;
}

TEST(ProgramOptions, TakesAMachineFileAndTheSyslogSwitch) {
  const ProgramOptions options = parse_program_options({"--machine", "m.json", "--syslog"});
  EXPECT_EQ(options.machine, "m.json");
  EXPECT_TRUE(options.syslog_to_stderr);
  EXPECT_TRUE(options.error.empty());
  EXPECT_EQ(parse_program_options({"--machine=x.json"}).machine, "x.json");
  EXPECT_TRUE(parse_program_options({"-h"}).help);
}

TEST(ProgramOptions, RejectsWhatItDoesNotKnow) {
  EXPECT_EQ(parse_program_options({"--machine"}).error, "--machine needs a file");
  EXPECT_EQ(parse_program_options({"--machine", "a", "--machine", "b"}).error, "--machine is given twice");
  EXPECT_EQ(parse_program_options({"scan"}).error, "unknown argument \"scan\"");
}

TEST(ProgramWithoutDisplay, PrintsTheStatusMenuAsBerthctlDoes) {
  const ProgramRun program = run(BERTHLINE_UTILITY_PATH, {});
  const ProgramRun berthctl = run(BERTHCTL_PATH, {"menu"});
  EXPECT_EQ(program.status, 0) << program.err;
  EXPECT_NE(program.err.find("no display"), std::string::npos) << program.err;
  EXPECT_EQ(program.out, berthctl.out);
  EXPECT_NE(program.out.find("port 2: Travel"), std::string::npos) << program.out;
}

TEST(ProgramWithoutDisplay, RunsOnAMachineFile) {
  const auto machine = std::filesystem::temp_directory_path() / ("berth-empty-" + std::to_string(::getpid()) + ".json");
  std::ofstream(machine) << "{}";
  const ProgramRun program = run(BERTHLINE_UTILITY_PATH, {"--machine", machine.string()});
  std::filesystem::remove(machine);
  EXPECT_EQ(program.status, 0) << program.err;
  EXPECT_NE(program.out.find("Found no Vantrel Berthlines."), std::string::npos) << program.out;
}

TEST(ProgramWithoutSystemTray, SaysSoAndPrintsTheMenu) {
  const ProgramRun program = run(BERTHLINE_UTILITY_PATH, {}, {"QT_QPA_PLATFORM=offscreen"});
  EXPECT_EQ(program.status, 0) << program.err;
  EXPECT_NE(program.err.find("the status menu would show"), std::string::npos) << program.err;
  EXPECT_NE(program.out.find("Quit Vantrel Berthline Utility"), std::string::npos) << program.out;
}

TEST(ProgramCommandLine, ABadMachineFileIsOneClearLineAndStatusTwo) {
  const ProgramRun missing = run(BERTHLINE_UTILITY_PATH, {"--machine", "/nonexistent/machine.json"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("/nonexistent/machine.json"), std::string::npos) << missing.err;
  const ProgramRun wrong = run(BERTHLINE_UTILITY_PATH, {"--frobnicate"});
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("usage: berthline-utility"), std::string::npos);
  EXPECT_EQ(run(BERTHLINE_UTILITY_PATH, {"--help"}).status, 0);
}

}  // namespace
}  // namespace berth::qt
