// The berthline-utility program itself: its command line, and what it does where no
// display or system tray can show it: it says so and prints the status menu exactly
// as `berthctl menu` does, and exits normally.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "app/qt/program_options.h"

namespace berth::qt {
namespace {

namespace fs = std::filesystem;

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string quoted(const std::string& word) { return "'" + word + "'"; }

// Runs a program with this process's environment less the display variables, plus `extra`.
ProgramRun run(const std::string& program, const std::vector<std::string>& args, const std::string& extra = "") {
  const fs::path dir = fs::temp_directory_path() / ("berth-program-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + extra + " " + quoted(program);
  for (const std::string& arg : args) command += " " + quoted(arg);
  command += " </dev/null >" + quoted(dir / "out") + " 2>" + quoted(dir / "err");
  const int status = std::system(command.c_str());
  ProgramRun result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(dir / "out"), read_file(dir / "err")};
  fs::remove_all(dir);
  return result;
}

TEST(ProgramOptions, TakesAMachineFileAndTheSyslogSwitchAndRejectsTheRest) {
  const ProgramOptions options = parse_program_options({"--machine", "m.json", "--syslog"});
  EXPECT_EQ(options.machine.path, "m.json");
  EXPECT_TRUE(options.syslog_to_stderr);
  EXPECT_TRUE(options.error.empty());
  EXPECT_EQ(parse_program_options({"--machine=x.json"}).machine.path, "x.json");
  EXPECT_TRUE(parse_program_options({"-h"}).help);
  EXPECT_EQ(parse_program_options({"--machine"}).error, "--machine needs a value");
  EXPECT_EQ(parse_program_options({"--machine", "a", "--machine", "b"}).error, "--machine is given twice");
  EXPECT_EQ(parse_program_options({"scan"}).error, "unknown argument \"scan\"");
}

TEST(ProgramWithoutDisplay, PrintsTheStatusMenuAsBerthctlDoes) {
  const ProgramRun program = run(BERTHLINE_UTILITY_PATH, {"--demo"});
  const ProgramRun berthctl = run(BERTHCTL_PATH, {"--demo", "menu"});
  EXPECT_EQ(program.status, 0) << program.err;
  EXPECT_NE(program.err.find("no display"), std::string::npos) << program.err;
  EXPECT_EQ(program.out, berthctl.out);
  EXPECT_NE(program.out.find("port 2: Travel"), std::string::npos) << program.out;
}

TEST(ProgramWithoutSystemTray, SaysSoAndPrintsTheMenuOfItsMachineFile) {
  const fs::path machine = fs::temp_directory_path() / ("berth-empty-" + std::to_string(::getpid()) + ".json");
  std::ofstream(machine) << "{}";
  const ProgramRun program = run(BERTHLINE_UTILITY_PATH, {"--machine", machine.string()}, "QT_QPA_PLATFORM=offscreen");
  fs::remove(machine);
  EXPECT_EQ(program.status, 0) << program.err;
  EXPECT_NE(program.err.find("the status menu would show"), std::string::npos) << program.err;
  EXPECT_NE(program.out.find("Found no Vantrel Berthlines."), std::string::npos) << program.out;
  EXPECT_NE(program.out.find("Quit Vantrel Berthline Utility"), std::string::npos) << program.out;
}

TEST(ProgramCommandLine, ABadMachineFileOrArgumentIsOneClearLineAndStatusTwo) {
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
