// The autostart entry that opens the program at login, where the desktop program finds
// its resources, and the login-item script run that ends in the entry.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "app/app_delegate.h"
#include "app/app_texts.h"
#include "platform/desktop/autostart_script_runner.h"
#include "platform/desktop/desktop_resources.h"
#include "platform/desktop/xdg_autostart.h"
#include "platform/services.h"
#include "platform/sim/memory_system_log.h"
#include "tests/support/temp_dir.h"

namespace berth::desktop {
namespace {

namespace fs = std::filesystem;
using namespace berth::testing;

// A sysfs tree in which the block device holding `file` has the given removable flag
// on its whole disk (the partition's own directory has none, as on a real system).
fs::path fake_sysfs(const fs::path& root, const fs::path& file, const char* removable) {
  struct stat info {};
  EXPECT_EQ(::stat(file.c_str(), &info), 0);
  const fs::path partition = root / "devices" / "sdz" / "sdz1";
  fs::create_directories(partition);
  write_file(root / "devices" / "sdz" / "removable", removable);
  fs::create_directories(root / "dev" / "block");
  fs::create_directory_symlink(partition, root / "dev" / "block" /
                                              (std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev))));
  return root;
}

TEST(AutostartDirectory, FollowsAnAbsoluteXdgConfigHomeThenTheHome) {
  EXPECT_EQ(autostart_directory("/cfg", "/home/ada"), fs::path("/cfg/autostart"));
  EXPECT_EQ(autostart_directory(std::nullopt, "/home/ada"), fs::path("/home/ada/.config/autostart"));
  EXPECT_EQ(autostart_directory("cfg", "/home/ada"), fs::path("/home/ada/.config/autostart"));
  EXPECT_EQ(autostart_directory("cfg", "home"), std::nullopt);
  EXPECT_EQ(autostart_directory(std::nullopt, std::nullopt), std::nullopt);
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string previous = saved ? saved : "";
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(autostart_directory_from_environment(), fs::path("/cfg/autostart"));
  saved ? ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}

TEST(AutostartEntry, OpensTheProgramQuotedForTheExecLineUnlessTheUserTurnedItOff) {
  const std::string text = autostart_entry_text("/usr/bin/berthline-utility");
  EXPECT_TRUE(text.starts_with("[Desktop Entry]\n"));
  for (const char* line : {"\nType=Application\n", "\nName=Vantrel Berthline Utility\n",
                           "\nExec=\"/usr/bin/berthline-utility\"\n", "\nIcon=berthline-utility\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  // Exec quoting escapes " ` $ and \, then the string escaping doubles each backslash.
  const std::pair<const char*, const char*> quoting[] = {
      {"/opt/Berth Line/bin/berthline-utility", "\"/opt/Berth Line/bin/berthline-utility\""},
      {"/a\"b", "\"/a\\\\\"b\""}, {"/a$b`c", "\"/a\\\\$b\\\\`c\""}, {"/a\\b", "\"/a\\\\\\\\b\""},
      {"/100%/u", "\"/100%%/u\""}};
  for (const auto& [path, argument] : quoting) EXPECT_EQ(desktop_exec_argument(path), argument) << path;
  const std::pair<const char*, bool> entries[] = {
      {"[Desktop Entry]\nHidden=true\n", true},
      {"[Desktop Entry]\nX-GNOME-Autostart-enabled = false\n", true},
      {"[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n", false},
      {"[Desktop Action x]\nHidden=true\n", false}};
  for (const auto& [entry, off] : entries) EXPECT_EQ(autostart_entry_disabled(entry), off) << entry;
}

// One autostart directory through a sequence of registrations, each with the entry it
// leaves ("" for none): nothing for a copy on a removable medium or a path that cannot
// be an Exec line, then written, unchanged, moved, and an entry turned off kept off.
TEST(RegisterAutostart, WritesTheEntryOnlyWhereItMayAndKeepsAnEntryTurnedOff) {
  TempDir dir;
  const fs::path program = dir.path() / "berthline-utility";
  write_file(program, "");
  const fs::path removable_sys = fake_sysfs(dir.path() / "sys-removable", program, "1\n");
  const fs::path fixed_sys = fake_sysfs(dir.path() / "sys-fixed", program, "0\n");
  const fs::path entries = dir.path() / "autostart", no_sys = dir.path() / "no-sys";
  const std::string off = "[Desktop Entry]\nType=Application\nExec=/old/path\nHidden=true\n";
  using enum AutostartResult;
  const struct {
    fs::path program, sys;
    AutostartResult result;
    std::string entry;
    const char* before = nullptr;  // written into the entry first
  } steps[] = {
      {"/Volumes/Berthline/berthline-utility", no_sys, removable, ""},
      {"/media/ada/STICK/berthline-utility", no_sys, removable, ""},
      {"/run/media/ada/STICK/bin/berthline-utility", no_sys, removable, ""},
      {program, removable_sys, removable, ""},
      {"bin/berthline-utility", no_sys, failed, ""},
      {"/opt/evil\nExec=/bin/sh", no_sys, failed, ""},
      {"/opt/a/berthline-utility", no_sys, written, autostart_entry_text("/opt/a/berthline-utility")},
      {"/opt/a/berthline-utility", no_sys, unchanged, autostart_entry_text("/opt/a/berthline-utility")},
      // A name that merely begins like a mount root is no medium, nor is a fixed disk.
      {"/mediator/berthline-utility", no_sys, written, autostart_entry_text("/mediator/berthline-utility")},
      {program, fixed_sys, written, autostart_entry_text(program)},
      {"/opt/b/berthline-utility", no_sys, kept_off, off, off.c_str()},
  };
  for (const auto& step : steps) {
    if (step.before) write_file(entries / kAutostartFileName, step.before);
    const AutostartOutcome outcome = register_autostart(step.program, {entries, step.sys});
    EXPECT_EQ(outcome.result, step.result) << step.program << " " << outcome.detail;
    EXPECT_EQ(read_file(entries / kAutostartFileName), step.entry) << step.program;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(entries), fs::directory_iterator()), 1) << "no temporary file is left";
  EXPECT_EQ(register_autostart("/usr/bin/x", {std::nullopt, no_sys}).result, failed) << "no home";
}

// The program's own path and its found directory are checked by running it (the Qt tests).
TEST(DesktopResources, FoundInstalledOrInTheFirstFallbackThatHoldsThemAndOnlyTheirOwnFilesAreGiven) {
  TempDir dir;
  const fs::path program = dir.path() / "bin" / "berthline-utility", share = dir.path() / "share" / "berthline-utility";
  fs::create_directories(share);  // empty: not the resources
  fs::create_directories(dir.path() / "first");
  write_file(dir.path() / "second" / kResourceMarker, "x");
  const fs::path fallbacks[] = {dir.path() / "first", dir.path() / "second"};
  EXPECT_EQ(find_resource_directory(program, "../share/berthline-utility", fallbacks), dir.path() / "second");
  write_file(share / kResourceMarker, "x");
  EXPECT_EQ(find_resource_directory(program, "../share/berthline-utility", fallbacks), share);
  EXPECT_EQ(find_resource_directory(dir.path() / "bin" / "x", "../elsewhere", {}), std::nullopt);

  write_file(share / "Vantrel_loginitem.scpt", "x");
  write_file(dir.path() / "share" / "secret.png", "x");
  fs::create_directories(share / "folder.png");
  DesktopResources resources("/usr/bin/berthline-utility", share);
  EXPECT_EQ(resources.path_for_resource("Vantrel_loginitem", "scpt"), (share / "Vantrel_loginitem.scpt").string());
  for (const auto& [name, type] : {std::pair{"eject", "png"}, {"folder", "png"}, {"../secret", "png"}, {"..", ""}})
    EXPECT_EQ(resources.path_for_resource(name, type), std::nullopt) << name << "." << type;
}

AppleEventDescriptor text(std::string_view value) {
  return {kTypeUTF8Text, std::vector<std::uint8_t>(value.begin(), value.end()), {}};
}

AppleEvent subroutine_call(std::string_view handler, std::vector<AppleEventDescriptor> arguments,
                           std::uint32_t event_id = kASSubroutineEvent) {
  AppleEvent event{kASAppleScriptSuite, event_id, {}, kAutoGenerateReturnID, kAnyTransactionID, {}};
  event.parameters.emplace_back(keyASSubroutineName, text(handler));
  event.parameters.emplace_back(keyDirectObject, AppleEventDescriptor{kTypeAEList, {}, std::move(arguments)});
  return event;
}

// The application delegate's launch-time call, on the desktop backends; a removable
// medium's copy at launch is the register's own test: the outcome is the same.
TEST(LoginItemAtLaunch, WritesTheAutostartEntryForTheProgramOrLogsWhyNot) {
  for (const bool blocked : {false, true}) {
    TempDir dir;
    if (blocked) write_file(dir.path() / "autostart", "a file in the directory's place");
    sim::MemorySystemLog log;
    AutostartScriptRunner runner{AutostartPlace{dir.path() / "autostart", dir.path() / "no-sys"}};
    DesktopResources resources("/usr/local/bin/berthline-utility", BERTH_APP_RESOURCES_DIR);
    ScopedServices installed(Services{.system_log = &log, .resources = &resources, .script_runner = &runner});
    app::Application application;
    app::AppDelegate(application)._runAppleScriptWithCommand(app::kLoginItemHandler, app::kLoginItemScript, resources.bundle_path());
    ASSERT_EQ(std::pair(runner.outcomes().size(), log.lines().size()), std::pair(std::size_t{1}, std::size_t{blocked}));
    EXPECT_EQ(read_file(dir.path() / "autostart" / kAutostartFileName), blocked ? "" : autostart_entry_text(resources.bundle_path()));
    if (!blocked) continue;
    EXPECT_TRUE(log.lines()[0].starts_with("error executing applescript: errors:") &&
                log.lines()[0].find("cannot create") != std::string::npos) << log.lines()[0];
  }
}

// The runner reads the handlers a script declares and performs only the login-item
// one; anything else is a failed run, as the scripting framework reports one.
TEST(AutostartRunner, LoadsScriptsWithTheirHandlersAndRunsOnlyTheLoginItemHandler) {
  EXPECT_EQ(declared_handlers("-- on commented(x)\n on add_Vantrel_to_loginitems(appPath)\n\tend add_Vantrel_to_loginitems\n"
                              "on\tOther_One (x)\non run\n"),
            (std::set<std::string>{"add_vantrel_to_loginitems", "other_one"}));
  TempDir dir;
  AutostartScriptRunner runner({dir.path() / "autostart", dir.path()});
  const ScriptLoadResult shipped = runner.load_script(std::string(BERTH_APP_RESOURCES_DIR) + "/Vantrel_loginitem.scpt");
  EXPECT_TRUE(shipped.script != 0 && !shipped.errors) << shipped.errors.value_or("");
  EXPECT_EQ(runner.load_script((dir.path() / "missing.scpt").string()).script, 0u);
  const ScriptLoadResult empty = runner.load_script(dir.write("dialog.scpt", "display dialog \"hi\"\n"));
  EXPECT_TRUE(empty.script != 0 && empty.errors.value_or("").find("no handler") != std::string::npos);

  const script_handle_t script =
      runner.load_script(dir.write("script.scpt", "on add_vantrel_to_loginitems(p)\nend\non quit_all(p)\nend\n")).script;
  const std::vector<AppleEventDescriptor> program{text("/usr/bin/berthline-utility")};
  const std::pair<AppleEvent, const char*> refused[] = {
      {subroutine_call("remove_everything", program), "no handler remove_everything"},
      {subroutine_call("quit_all", program), "quit_all cannot be performed"},
      {subroutine_call("add_Vantrel_to_loginitems", {}), "takes one text"},
      {subroutine_call("add_vantrel_to_loginitems", program, four_char_code("odoc")), "not a subroutine call"}};
  for (const auto& [event, error] : refused)
    EXPECT_NE(runner.execute(script, event).errors.find(error), std::string::npos) << error;
  EXPECT_TRUE(runner.outcomes().empty()) << "nothing was performed";
  EXPECT_TRUE(runner.execute(script, subroutine_call("ADD_Vantrel_To_LoginItems", program)).has_result);
  EXPECT_TRUE(fs::exists(dir.path() / "autostart" / kAutostartFileName));
  runner.release_script(script);
  EXPECT_FALSE(runner.execute(script, subroutine_call("add_vantrel_to_loginitems", program)).has_result);
}

}  // namespace
}  // namespace berth::desktop
