#include "tests/support/run_berthctl.h"

#include <algorithm>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace berth::testing {
namespace {

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string CommandResult::last_line() const {
  std::string text = out;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  const auto pos = text.rfind('\n');
  return pos == std::string::npos ? text : text.substr(pos + 1);
}

std::string write_temp(const std::string& name, const std::string& text) {
  const auto path = std::filesystem::temp_directory_path() / name;
  std::ofstream(path) << text;
  return path.string();
}

CommandResult run_berthctl(const std::vector<std::string>& args) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("berthctl-test-" + std::to_string(::getpid()) + "-" + std::to_string(std::rand()));
  std::filesystem::create_directories(dir);
  const std::string out_path = (dir / "out").string();
  const std::string err_path = (dir / "err").string();

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> argv_text{BERTHCTL_PATH};
  // Tests run on simulated machines: the demo one unless the arguments name another.
  const bool names_machine = std::any_of(args.begin(), args.end(), [](const std::string& arg) {
    return arg == "--machine" || arg == "--ioreg" || arg == "--sysfs" || arg == "--demo";
  });
  if (!names_machine) argv_text.push_back("--demo");
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  CommandResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  std::filesystem::remove_all(dir);
  return result;
}

}  // namespace berth::testing
