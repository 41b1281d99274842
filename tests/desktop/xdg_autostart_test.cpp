// The autostart entry that opens the program at login: where it goes, what it says,
// and when nothing may be written.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/desktop/xdg_autostart.h"
#include "tests/desktop/temp_dir.h"

namespace berth::desktop {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

std::string read_file(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_file(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

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

TEST(AutostartDirectory, FollowsXdgConfigHomeThenTheHome) {
  EXPECT_EQ(autostart_directory("/cfg", "/home/ada"), fs::path("/cfg/autostart"));
  EXPECT_EQ(autostart_directory(std::nullopt, "/home/ada"), fs::path("/home/ada/.config/autostart"));
  EXPECT_EQ(autostart_directory(std::nullopt, std::nullopt), std::nullopt);
}

TEST(AutostartDirectory, IgnoresARelativeXdgConfigHome) {
  EXPECT_EQ(autostart_directory("cfg", "/home/ada"), fs::path("/home/ada/.config/autostart"));
  EXPECT_EQ(autostart_directory("cfg", "home"), std::nullopt);
}

TEST(AutostartDirectory, ReadsTheEnvironment) {
  TempDir dir;
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string previous = saved ? saved : "";
  ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  EXPECT_EQ(autostart_directory_from_environment(), dir.path() / "autostart");
  if (saved) ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
  else ::unsetenv("XDG_CONFIG_HOME");
}

TEST(AutostartEntry, QuotesTheProgramPathForTheExecLine) {
  EXPECT_EQ(desktop_exec_argument("/opt/Berth Line/bin/berthline-utility"), "\"/opt/Berth Line/bin/berthline-utility\"");
  // Exec quoting escapes " ` $ and \, then the string escaping doubles each backslash.
  EXPECT_EQ(desktop_exec_argument("/a\"b"), "\"/a\\\\\"b\"");
  EXPECT_EQ(desktop_exec_argument("/a$b`c"), "\"/a\\\\$b\\\\`c\"");
  EXPECT_EQ(desktop_exec_argument("/a\\b"), "\"/a\\\\\\\\b\"");
  EXPECT_EQ(desktop_exec_argument("/100%/u"), "\"/100%%/u\"");
}

TEST(AutostartEntry, IsADesktopEntryThatOpensTheProgram) {
  const std::string text = autostart_entry_text("/usr/bin/berthline-utility");
  EXPECT_TRUE(text.starts_with("[Desktop Entry]\n"));
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(text.find("\nName=Vantrel Berthline Utility\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=\"/usr/bin/berthline-utility\"\n"), std::string::npos);
  EXPECT_NE(text.find("\nIcon=berthline-utility\n"), std::string::npos);
}

TEST(AutostartEntry, KnowsAnEntryTheUserTurnedOff) {
  EXPECT_TRUE(autostart_entry_disabled("[Desktop Entry]\nHidden=true\n"));
  EXPECT_TRUE(autostart_entry_disabled("[Desktop Entry]\nX-GNOME-Autostart-enabled = false\n"));
  EXPECT_FALSE(autostart_entry_disabled("[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n"));
  EXPECT_FALSE(autostart_entry_disabled("[Desktop Action x]\nHidden=true\n"));
}

TEST(RegisterAutostart, WritesTheEntryCreatingTheDirectory) {
  TempDir dir;
  const AutostartPlace place{dir.path() / "config" / "autostart", dir.path() / "no-sys"};
  const AutostartOutcome outcome = register_autostart("/opt/berth/bin/berthline-utility", place);
  ASSERT_EQ(outcome.result, AutostartResult::written) << outcome.detail;
  EXPECT_EQ(outcome.entry, *place.directory / "berthline-utility.desktop");
  EXPECT_EQ(read_file(outcome.entry), autostart_entry_text("/opt/berth/bin/berthline-utility"));
  EXPECT_EQ(std::distance(fs::directory_iterator(*place.directory), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
}

TEST(RegisterAutostart, LeavesTheSameEntryAloneAndFollowsAMovedProgram) {
  TempDir dir;
  const AutostartPlace place{dir.path(), dir.path() / "no-sys"};
  ASSERT_EQ(register_autostart("/opt/a/berthline-utility", place).result, AutostartResult::written);
  EXPECT_EQ(register_autostart("/opt/a/berthline-utility", place).result, AutostartResult::unchanged);
  EXPECT_EQ(register_autostart("/usr/bin/berthline-utility", place).result, AutostartResult::written);
  EXPECT_EQ(read_file(dir.path() / kAutostartFileName), autostart_entry_text("/usr/bin/berthline-utility"));
}

TEST(RegisterAutostart, KeepsAnEntryTheUserTurnedOff) {
  TempDir dir;
  const std::string off = "[Desktop Entry]\nType=Application\nExec=/old/path\nHidden=true\n";
  write_file(dir.path() / kAutostartFileName, off);
  const AutostartOutcome outcome = register_autostart("/usr/bin/berthline-utility", {dir.path(), dir.path() / "no-sys"});
  EXPECT_EQ(outcome.result, AutostartResult::kept_off);
  EXPECT_EQ(read_file(dir.path() / kAutostartFileName), off);
}

TEST(RegisterAutostart, WritesNothingForACopyOnARemovableMedium) {
  TempDir dir;
  const AutostartPlace place{dir.path() / "autostart", dir.path() / "no-sys"};
  for (const char* program : {"/Volumes/Berthline/berthline-utility", "/media/ada/STICK/berthline-utility",
                              "/run/media/ada/STICK/bin/berthline-utility"}) {
    EXPECT_EQ(register_autostart(program, place).result, AutostartResult::removable) << program;
  }
  EXPECT_FALSE(fs::exists(*place.directory));
  // A name that merely begins like a mount root is no medium.
  EXPECT_EQ(register_autostart("/mediator/berthline-utility", place).result, AutostartResult::written);
}

TEST(RegisterAutostart, AsksTheKernelWhetherTheProgramsDiskIsRemovable) {
  TempDir dir;
  const fs::path program = dir.path() / "berthline-utility";
  write_file(program, "");
  const fs::path removable_sys = fake_sysfs(dir.path() / "sys-removable", program, "1\n");
  const fs::path fixed_sys = fake_sysfs(dir.path() / "sys-fixed", program, "0\n");
  EXPECT_TRUE(is_on_removable_medium(program, removable_sys));
  EXPECT_FALSE(is_on_removable_medium(program, fixed_sys));
  EXPECT_EQ(register_autostart(program, {dir.path() / "autostart", removable_sys}).result, AutostartResult::removable);
  EXPECT_EQ(register_autostart(program, {dir.path() / "autostart", fixed_sys}).result, AutostartResult::written);
}

TEST(RegisterAutostart, ReportsAnEntryThatCannotBeWritten) {
  TempDir dir;
  write_file(dir.path() / "config", "a file where the directory should be");
  const AutostartOutcome outcome =
      register_autostart("/usr/bin/berthline-utility", {dir.path() / "config" / "autostart", dir.path() / "no-sys"});
  EXPECT_EQ(outcome.result, AutostartResult::failed);
  EXPECT_NE(outcome.detail.find("cannot create"), std::string::npos) << outcome.detail;
}

TEST(RegisterAutostart, RefusesPathsAnEntryCannotOpen) {
  TempDir dir;
  const AutostartPlace place{dir.path(), dir.path() / "no-sys"};
  EXPECT_EQ(register_autostart("bin/berthline-utility", place).result, AutostartResult::failed);
  EXPECT_EQ(register_autostart("/opt/evil\nExec=/bin/sh", place).result, AutostartResult::failed);
  EXPECT_FALSE(fs::exists(dir.path() / kAutostartFileName));
  EXPECT_EQ(register_autostart("/usr/bin/x", {std::nullopt, dir.path()}).result, AutostartResult::failed);
}

}  // namespace
}  // namespace berth::desktop
