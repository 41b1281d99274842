#include "platform/desktop/xdg_autostart.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace berth::desktop {
namespace {

namespace fs = std::filesystem;

// Where removable media and outside disks are mounted: by the utility's own system,
// by udisks (/media/USER, /run/media/USER) and by hand on older systems.
constexpr std::array<std::string_view, 3> kRemovableMountRoots{"/Volumes", "/media", "/run/media"};

std::optional<std::string_view> environment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || *value == '\0') return std::nullopt;
  return std::string_view(value);
}

bool is_under(const fs::path& path, std::string_view root) {
  const fs::path base(root);
  auto p = path.begin();
  for (auto b = base.begin(); b != base.end(); ++b, ++p)
    if (p == path.end() || *p != *b) return false;
  return true;
}

std::optional<std::string> read_small_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The "removable" flag of the block device holding `program`: the partition's own
// directory has none, so the whole disk above it is asked too.
bool device_is_removable(const fs::path& program, const fs::path& sys_root) {
  struct stat info {};
  if (::stat(program.c_str(), &info) != 0) return false;
  const fs::path link = sys_root / "dev" / "block" /
                        (std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev)));
  std::error_code error;
  const fs::path device = fs::canonical(link, error);
  if (error) return false;
  for (const fs::path& dir : {device, device.parent_path()}) {
    if (const auto flag = read_small_file(dir / "removable")) return flag->starts_with("1");
  }
  return false;
}

// The value of `key` in the [Desktop Entry] group; nothing when absent.
std::optional<std::string> entry_value(std::string_view text, std::string_view key) {
  std::istringstream lines{std::string(text)};
  std::string line;
  bool in_entry = false;
  while (std::getline(lines, line)) {
    if (line.starts_with('[')) {
      in_entry = line.starts_with("[Desktop Entry]");
      continue;
    }
    if (!in_entry || !line.starts_with(key)) continue;
    std::string_view rest = std::string_view(line).substr(key.size());
    while (rest.starts_with(' ')) rest.remove_prefix(1);
    if (!rest.starts_with('=')) continue;
    rest.remove_prefix(1);
    while (rest.starts_with(' ')) rest.remove_prefix(1);
    return std::string(rest);
  }
  return std::nullopt;
}

// Writes beside the target and renames, so a login never sees half an entry.
std::optional<std::string> write_atomically(const fs::path& target, const std::string& text) {
  const fs::path temporary = target.string() + ".tmp-" + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return "cannot write " + temporary.string();
    }
  }
  std::error_code error;
  fs::rename(temporary, target, error);
  if (!error) return std::nullopt;
  fs::remove(temporary, error);
  return "cannot rename to " + target.string();
}

}  // namespace

std::optional<fs::path> autostart_directory(std::optional<std::string_view> xdg_config_home,
                                            std::optional<std::string_view> home) {
  if (xdg_config_home && fs::path(*xdg_config_home).is_absolute()) return fs::path(*xdg_config_home) / "autostart";
  if (home && fs::path(*home).is_absolute()) return fs::path(*home) / ".config" / "autostart";
  return std::nullopt;
}

std::optional<fs::path> autostart_directory_from_environment() {
  std::optional<std::string_view> home = environment("HOME");
  if (!home) {
    if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) home = user->pw_dir;
  }
  return autostart_directory(environment("XDG_CONFIG_HOME"), home);
}

bool is_on_removable_medium(const fs::path& program, const fs::path& sys_root) {
  for (const std::string_view root : kRemovableMountRoots)
    if (is_under(program, root)) return true;
  return device_is_removable(program, sys_root);
}

std::string desktop_exec_argument(std::string_view path) {
  // Inside double quotes the Exec rules reserve ", `, $ and \; the desktop file's own
  // string escaping then doubles every backslash once more.
  std::string quoted = "\"";
  for (const char c : path) {
    if (c == '"' || c == '`' || c == '$') quoted += "\\\\";
    if (c == '\\') quoted += "\\\\\\";
    if (c == '%') quoted += '%';
    quoted += c;
  }
  return quoted + "\"";
}

std::string autostart_entry_text(const fs::path& program) {
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Vantrel Berthline Utility\n"
         "Comment=Ejects the volumes of Berthline docks from the system tray\n"
         "Exec=" + desktop_exec_argument(program.string()) + "\n"
         "Icon=berthline-utility\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n";
}

bool autostart_entry_disabled(std::string_view text) {
  return entry_value(text, "Hidden") == "true" || entry_value(text, "X-GNOME-Autostart-enabled") == "false";
}

AutostartOutcome register_autostart(const fs::path& program, const AutostartPlace& place) {
  if (!program.is_absolute() || program.string().find_first_of("\r\n") != std::string::npos)
    return {AutostartResult::failed, {}, "\"" + program.string() + "\" cannot be opened from an autostart entry"};
  if (is_on_removable_medium(program, place.sys_root)) return {AutostartResult::removable, {}, {}};
  if (!place.directory) return {AutostartResult::failed, {}, "no home directory to keep an autostart entry in"};
  const fs::path entry = *place.directory / kAutostartFileName;
  const std::string text = autostart_entry_text(program);
  if (const auto existing = read_small_file(entry)) {
    if (autostart_entry_disabled(*existing)) return {AutostartResult::kept_off, entry, {}};
    if (*existing == text) return {AutostartResult::unchanged, entry, {}};
  }
  std::error_code error;
  fs::create_directories(*place.directory, error);
  if (error) return {AutostartResult::failed, entry, "cannot create " + place.directory->string() + ": " + error.message()};
  if (const auto failure = write_atomically(entry, text)) return {AutostartResult::failed, entry, *failure};
  return {AutostartResult::written, entry, {}};
}

}  // namespace berth::desktop
