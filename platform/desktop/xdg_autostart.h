#pragma once
// Start at login on a freedesktop.org desktop: an autostart entry (a .desktop file in
// the user's autostart directory) that opens the program at its path. Nothing is
// written for a copy that runs from a removable medium, and an entry the user has
// turned off stays off.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace berth::desktop {

inline constexpr const char* kAutostartFileName = "berthline-utility.desktop";

// $XDG_CONFIG_HOME/autostart, or $HOME/.config/autostart. A relative XDG_CONFIG_HOME is
// ignored, as the base directory rules require; nothing when no home is known either.
std::optional<std::filesystem::path> autostart_directory(std::optional<std::string_view> xdg_config_home,
                                                         std::optional<std::string_view> home);
// The same from this process's environment (and the password database for the home).
std::optional<std::filesystem::path> autostart_directory_from_environment();

// True for a program under /Volumes, /media or /run/media, or on a block device that
// the kernel marks removable (looked up under `sys_root`, normally "/sys").
bool is_on_removable_medium(const std::filesystem::path& program, const std::filesystem::path& sys_root);

// The path as one argument of an Exec line: quoted, escaped, with "%" doubled.
std::string desktop_exec_argument(std::string_view path);
// The whole entry that opens `program` at login.
std::string autostart_entry_text(const std::filesystem::path& program);
// True when the entry text says the user turned it off (Hidden=true, or the GNOME
// enabled key set to false).
bool autostart_entry_disabled(std::string_view text);

enum class AutostartResult {
  written,      // a new or changed entry was written
  unchanged,    // the entry was already exactly this one
  kept_off,     // the user's turned-off entry was left alone
  removable,    // the program runs from a removable medium: nothing written
  failed,       // the entry could not be written; see `detail`
};

struct AutostartOutcome {
  AutostartResult result = AutostartResult::failed;
  std::filesystem::path entry;  // the entry's path, when there is a directory
  std::string detail;           // why it failed
};

struct AutostartPlace {
  std::optional<std::filesystem::path> directory;  // nothing: no home known
  std::filesystem::path sys_root = "/sys";
};

// Makes sure `program` is opened at login.
AutostartOutcome register_autostart(const std::filesystem::path& program, const AutostartPlace& place);

}  // namespace berth::desktop
