// The berthline-utility program itself: its command line, and what it does where no
// display or system tray can show it: it says so and prints the status menu exactly
// as `berthctl menu` does, and exits normally.
#include <gtest/gtest.h>

#include "app/qt/program_options.h"
#include "tests/support/run_berthctl.h"
#include "tests/support/temp_dir.h"

namespace berth::qt {
namespace {

using testing::CommandResult;

// The program with this process's environment less the display variables, plus `extra`.
CommandResult run(const std::vector<std::string>& args, const std::string& extra = "QT_QPA_PLATFORM") {
  return testing::run_program(BERTHLINE_UTILITY_PATH, args, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", extra});
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
  const CommandResult program = run({"--demo"});
  const CommandResult berthctl = testing::run_berthctl({"menu"});
  EXPECT_EQ(program.exit_status, 0) << program.err;
  EXPECT_NE(program.err.find("no display"), std::string::npos) << program.err;
  EXPECT_EQ(program.out, berthctl.out);
  EXPECT_NE(program.out.find("port 2: Travel"), std::string::npos) << program.out;
}

TEST(ProgramWithoutSystemTray, SaysSoAndPrintsTheMenuOfItsMachineFile) {
  const testing::TempDir dir;
  const CommandResult program = run({"--machine", dir.write("empty.json", "{}")}, "QT_QPA_PLATFORM=offscreen");
  EXPECT_EQ(program.exit_status, 0) << program.err;
  EXPECT_NE(program.err.find("the status menu would show"), std::string::npos) << program.err;
  EXPECT_NE(program.out.find("Found no Vantrel Berthlines."), std::string::npos) << program.out;
  EXPECT_NE(program.out.find("Quit Vantrel Berthline Utility"), std::string::npos) << program.out;
}

TEST(ProgramCommandLine, ABadMachineFileOrArgumentIsOneClearLineAndStatusTwo) {
  const CommandResult missing = run({"--machine", "/nonexistent/machine.json"});
  EXPECT_EQ(missing.exit_status, 2);
  EXPECT_NE(missing.err.find("/nonexistent/machine.json"), std::string::npos) << missing.err;
  const CommandResult wrong = run({"--frobnicate"});
  EXPECT_EQ(wrong.exit_status, 2);
  EXPECT_NE(wrong.err.find("usage: berthline-utility"), std::string::npos);
  EXPECT_EQ(run({"--help"}).exit_status, 0);
}

}  // namespace
}  // namespace berth::qt
