// The login-item script run on a Linux desktop: the application's own call at launch
// ends in an autostart entry for the program, and what the runner cannot perform is a
// failed run, as the scripting framework reports one.
#include <gtest/gtest.h>

#include "app/app_delegate.h"
#include "app/app_texts.h"
#include "platform/desktop/autostart_script_runner.h"
#include "platform/desktop/desktop_resources.h"
#include "platform/services.h"
#include "platform/sim/memory_system_log.h"
#include "tests/support/temp_dir.h"

namespace berth::desktop {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

AppleEventDescriptor text(std::string_view value) {
  return {kTypeUTF8Text, std::vector<std::uint8_t>(value.begin(), value.end()), {}};
}

AppleEvent subroutine_call(std::string_view handler, std::vector<AppleEventDescriptor> arguments) {
  AppleEvent event{kASAppleScriptSuite, kASSubroutineEvent, {}, kAutoGenerateReturnID, kAnyTransactionID, {}};
  event.parameters.emplace_back(keyASSubroutineName, text(handler));
  event.parameters.emplace_back(keyDirectObject, AppleEventDescriptor{kTypeAEList, {}, std::move(arguments)});
  return event;
}

// The application delegate's launch-time call, on the desktop backends.
class LoginItemAtLaunch : public ::testing::Test {
 protected:
  void run_login_item(const fs::path& program) {
    DesktopResources resources(program, BERTH_APP_RESOURCES_DIR);
    ScopedServices installed(Services{.system_log = &log, .resources = &resources, .script_runner = &runner});
    app::Application application;
    app::AppDelegate delegate(application);
    delegate._runAppleScriptWithCommand(app::kLoginItemHandler, app::kLoginItemScript, resources.bundle_path());
    ASSERT_EQ(runner.outcomes().size(), 1u);
  }

  TempDir dir;
  sim::MemorySystemLog log;
  AutostartScriptRunner runner{AutostartPlace{dir.path() / "autostart", dir.path() / "no-sys"}};
};

// A removable medium's copy at launch is the register's own test: the outcome is the same.
TEST_F(LoginItemAtLaunch, WritesTheAutostartEntryForTheProgram) {
  run_login_item("/usr/local/bin/berthline-utility");
  EXPECT_EQ(runner.outcomes()[0].result, AutostartResult::written);
  EXPECT_EQ(testing::read_file(dir.path() / "autostart" / kAutostartFileName),
            autostart_entry_text("/usr/local/bin/berthline-utility"));
  EXPECT_TRUE(log.lines().empty());
}

TEST_F(LoginItemAtLaunch, LogsAnEntryThatCannotBeWritten) {
  testing::write_file(dir.path() / "autostart", "a file in the directory's place");
  run_login_item("/usr/bin/berthline-utility");
  ASSERT_EQ(log.lines().size(), 1u);
  EXPECT_TRUE(log.lines()[0].starts_with("error executing applescript: errors:")) << log.lines()[0];
  EXPECT_NE(log.lines()[0].find("cannot create"), std::string::npos) << log.lines()[0];
}

TEST(ScriptHandlers, AreReadFromTheScriptsSource) {
  const auto handlers = declared_handlers(
      "-- on commented(x)\n on add_Vantrel_to_loginitems(appPath)\n\tend add_Vantrel_to_loginitems\n"
      "on\tOther_One (x)\non run\n");
  EXPECT_EQ(handlers, (std::set<std::string>{"add_vantrel_to_loginitems", "other_one"}));
}

TEST(AutostartRunner, LoadsTheShippedScriptNothingMissingAndFlagsAScriptWithoutHandlers) {
  TempDir dir;
  AutostartScriptRunner runner({dir.path(), dir.path()});
  const ScriptLoadResult shipped = runner.load_script(std::string(BERTH_APP_RESOURCES_DIR) + "/Vantrel_loginitem.scpt");
  ASSERT_NE(shipped.script, 0u);
  EXPECT_FALSE(shipped.errors) << *shipped.errors;
  EXPECT_EQ(runner.load_script((dir.path() / "missing.scpt").string()).script, 0u);
  testing::write_file(dir.path() / "dialog.scpt", "display dialog \"hi\"\n");
  const ScriptLoadResult empty = runner.load_script(dir.path() / "dialog.scpt");
  EXPECT_NE(empty.script, 0u);
  ASSERT_TRUE(empty.errors);
  EXPECT_NE(empty.errors->find("no handler"), std::string::npos);
}

TEST(AutostartRunner, RunsOnlyTheLoginItemHandlerTheScriptDeclares) {
  TempDir dir;
  AutostartScriptRunner runner({dir.path() / "autostart", dir.path()});
  testing::write_file(dir.path() / "script.scpt", "on add_vantrel_to_loginitems(p)\nend\non quit_all(p)\nend\n");
  const script_handle_t script = runner.load_script(dir.path() / "script.scpt").script;
  const std::vector<AppleEventDescriptor> program{text("/usr/bin/berthline-utility")};

  const ScriptExecuteResult unknown = runner.execute(script, subroutine_call("remove_everything", program));
  EXPECT_FALSE(unknown.has_result);
  EXPECT_NE(unknown.errors.find("no handler remove_everything"), std::string::npos) << unknown.errors;
  EXPECT_FALSE(runner.execute(script, subroutine_call("quit_all", program)).has_result);
  EXPECT_FALSE(runner.execute(script, subroutine_call("add_Vantrel_to_loginitems", {})).has_result);
  AppleEvent not_a_call = subroutine_call("add_vantrel_to_loginitems", program);
  not_a_call.event_id = four_char_code("odoc");
  EXPECT_FALSE(runner.execute(script, not_a_call).has_result);
  EXPECT_TRUE(runner.outcomes().empty()) << "nothing was performed";

  EXPECT_TRUE(runner.execute(script, subroutine_call("ADD_Vantrel_To_LoginItems", program)).has_result);
  EXPECT_TRUE(fs::exists(dir.path() / "autostart" / kAutostartFileName));
  runner.release_script(script);
  EXPECT_FALSE(runner.execute(script, subroutine_call("add_vantrel_to_loginitems", program)).has_result);
}

}  // namespace
}  // namespace berth::desktop
