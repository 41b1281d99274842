#include "tests/support/run_berthctl.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace berth::testing {
namespace {

std::vector<std::string> changed_environment(const std::vector<std::string>& changes) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) env.emplace_back(*entry);
  for (const std::string& change : changes) {
    const std::string name = change.substr(0, change.find('=')) + "=";
    std::erase_if(env, [&](const std::string& e) { return e.starts_with(name); });
    if (change.find('=') != std::string::npos) env.push_back(change);
  }
  return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (auto& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

}  // namespace

std::string CommandResult::last_line() const {
  std::string text = out;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  const auto pos = text.rfind('\n');
  return pos == std::string::npos ? text : text.substr(pos + 1);
}

CommandResult run_program(const std::string& program, const std::vector<std::string>& args,
                          const std::vector<std::string>& environment) {
  const TempDir dir;
  const std::string out_path = dir / "out", err_path = dir / "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<std::string> env_text = changed_environment(environment);
  auto argv = pointers(argv_text);
  auto envp = pointers(env_text);
  CommandResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  result.out = read_file(out_path);
  result.err = read_file(err_path);
  return result;
}

CommandResult run_berthctl(const std::vector<std::string>& args) {
  // Tests run on simulated machines: the demo one unless the arguments name another.
  const bool names_machine = std::any_of(args.begin(), args.end(), [](const std::string& arg) {
    return arg == "--machine" || arg == "--ioreg" || arg == "--sysfs" || arg == "--demo";
  });
  std::vector<std::string> with_machine;
  if (!names_machine) with_machine.emplace_back("--demo");
  with_machine.insert(with_machine.end(), args.begin(), args.end());
  return run_program(BERTHCTL_PATH, with_machine);
}

}  // namespace berth::testing
