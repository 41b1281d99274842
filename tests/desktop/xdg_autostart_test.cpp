// The autostart entry that opens the program at login: where it goes, what it says,
// and when nothing may be written.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <gtest/gtest.h>

#include "platform/desktop/xdg_autostart.h"
#include "tests/support/temp_dir.h"

namespace berth::desktop {
namespace {

namespace fs = std::filesystem;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

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
  TempDir dir;
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string previous = saved ? saved : "";
  ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
  EXPECT_EQ(autostart_directory_from_environment(), dir.path() / "autostart");
  if (saved) ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
  else ::unsetenv("XDG_CONFIG_HOME");
}

TEST(AutostartEntry, IsADesktopEntryThatOpensTheProgramQuotedForTheExecLine) {
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
}

TEST(AutostartEntry, KnowsAnEntryTheUserTurnedOff) {
  const std::pair<const char*, bool> entries[] = {
      {"[Desktop Entry]\nHidden=true\n", true},
      {"[Desktop Entry]\nX-GNOME-Autostart-enabled = false\n", true},
      {"[Desktop Entry]\nHidden=false\nX-GNOME-Autostart-enabled=true\n", false},
      {"[Desktop Action x]\nHidden=true\n", false}};
  for (const auto& [entry, off] : entries) EXPECT_EQ(autostart_entry_disabled(entry), off) << entry;
}

TEST(RegisterAutostart, WritesTheEntryFollowsAMovedProgramAndKeepsAnEntryTurnedOff) {
  TempDir dir;
  const AutostartPlace place{dir.path() / "config" / "autostart", dir.path() / "no-sys"};
  const AutostartOutcome outcome = register_autostart("/opt/a/berthline-utility", place);
  ASSERT_EQ(outcome.result, AutostartResult::written) << outcome.detail;
  EXPECT_EQ(outcome.entry, *place.directory / "berthline-utility.desktop");
  EXPECT_EQ(read_file(outcome.entry), autostart_entry_text("/opt/a/berthline-utility"));
  EXPECT_EQ(std::distance(fs::directory_iterator(*place.directory), fs::directory_iterator()), 1)
      << "no temporary file is left behind";
  EXPECT_EQ(register_autostart("/opt/a/berthline-utility", place).result, AutostartResult::unchanged);
  EXPECT_EQ(register_autostart("/usr/bin/berthline-utility", place).result, AutostartResult::written);
  EXPECT_EQ(read_file(outcome.entry), autostart_entry_text("/usr/bin/berthline-utility"));
  const std::string off = "[Desktop Entry]\nType=Application\nExec=/old/path\nHidden=true\n";
  write_file(outcome.entry, off);
  EXPECT_EQ(register_autostart("/opt/b/berthline-utility", place).result, AutostartResult::kept_off);
  EXPECT_EQ(read_file(outcome.entry), off);
}

TEST(RegisterAutostart, WritesNothingForACopyOnARemovableMedium) {
  TempDir dir;
  const fs::path program = dir.path() / "berthline-utility";
  write_file(program, "");
  const fs::path removable_sys = fake_sysfs(dir.path() / "sys-removable", program, "1\n");
  const fs::path fixed_sys = fake_sysfs(dir.path() / "sys-fixed", program, "0\n");
  EXPECT_TRUE(is_on_removable_medium(program, removable_sys));
  EXPECT_FALSE(is_on_removable_medium(program, fixed_sys));
  const fs::path entries = dir.path() / "autostart";
  const fs::path no_sys = dir.path() / "no-sys";
  const std::pair<fs::path, fs::path> removable[] = {{"/Volumes/Berthline/berthline-utility", no_sys},
                                                     {"/media/ada/STICK/berthline-utility", no_sys},
                                                     {"/run/media/ada/STICK/bin/berthline-utility", no_sys},
                                                     {program, removable_sys}};
  for (const auto& [path, sys] : removable)
    EXPECT_EQ(register_autostart(path, {entries, sys}).result, AutostartResult::removable) << path;
  EXPECT_FALSE(fs::exists(entries));
  // A name that merely begins like a mount root is no medium, nor is a fixed disk.
  EXPECT_EQ(register_autostart("/mediator/berthline-utility", {entries, no_sys}).result, AutostartResult::written);
  EXPECT_EQ(register_autostart(program, {entries, fixed_sys}).result, AutostartResult::written);
}

TEST(RegisterAutostart, ReportsAnEntryThatCannotBeWrittenOrPathsItCannotOpen) {
  TempDir dir;
  write_file(dir.path() / "config", "a file where the directory should be");
  const AutostartOutcome outcome =
      register_autostart("/usr/bin/berthline-utility", {dir.path() / "config" / "autostart", dir.path() / "no-sys"});
  EXPECT_EQ(outcome.result, AutostartResult::failed);
  EXPECT_NE(outcome.detail.find("cannot create"), std::string::npos) << outcome.detail;
  const AutostartPlace place{dir.path(), dir.path() / "no-sys"};
  EXPECT_EQ(register_autostart("bin/berthline-utility", place).result, AutostartResult::failed);
  EXPECT_EQ(register_autostart("/opt/evil\nExec=/bin/sh", place).result, AutostartResult::failed);
  EXPECT_FALSE(fs::exists(dir.path() / kAutostartFileName));
  EXPECT_EQ(register_autostart("/usr/bin/x", {std::nullopt, dir.path()}).result, AutostartResult::failed);
}

}  // namespace
}  // namespace berth::desktop
