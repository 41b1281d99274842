#include "platform/posix/posix_processes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <string_view>

#include "platform/posix/posix_task.h"

extern char** environ;

namespace berth {
namespace {

std::string_view variable_name(std::string_view entry) { return entry.substr(0, entry.find('=')); }

// What the child inherits, with the extra entries replacing inherited ones of the same name.
std::vector<std::string> child_environment(const std::vector<std::string>& extra) {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string_view name = variable_name(*entry);
    bool replaced = false;
    for (const auto& added : extra) replaced = replaced || variable_name(added) == name;
    if (!replaced) entries.emplace_back(*entry);
  }
  entries.insert(entries.end(), extra.begin(), extra.end());
  return entries;
}

std::vector<char*> pointers_to(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (auto& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// Spawn settings: standard input from /dev/null, standard output on the pipe's write
// end, the shared file, a process group of the child's own (so that the whole group
// can be ended, and a terminal's interrupt reaches only the parent), and the signals a
// tool relies on back at their defaults.
class SpawnSetup {
 public:
  SpawnSetup(int pipe_write_end, int shared_file) {
    posix_spawn_file_actions_init(&actions_);
    posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions_, pipe_write_end, STDOUT_FILENO);
    if (shared_file >= 0)
      posix_spawn_file_actions_adddup2(&actions_, shared_file, PosixProcesses::kSharedFileDescriptor);
    posix_spawnattr_init(&attributes_);
    posix_spawnattr_setpgroup(&attributes_, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes_, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attributes_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
};

}  // namespace

std::unique_ptr<Task> PosixProcesses::launch(const std::string& path, std::span<const std::string> arguments) {
  int ends[2];
  // Both ends close on exec: the child gets only its duplicate of the write end.
  if (::pipe2(ends, O_CLOEXEC) != 0) return nullptr;
  UniqueFd read_end(ends[0]);
  UniqueFd write_end(ends[1]);
  ::fcntl(read_end.get(), F_SETFL, ::fcntl(read_end.get(), F_GETFL) | O_NONBLOCK);

  std::vector<std::string> argv_text{path};
  argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
  std::vector<std::string> env_text = child_environment(extra_environment_);
  const std::vector<char*> argv = pointers_to(argv_text);
  const std::vector<char*> envp = pointers_to(env_text);

  const SpawnSetup setup(write_end.get(), shared_file_);
  pid_t pid = 0;
  if (::posix_spawn(&pid, path.c_str(), setup.actions(), setup.attributes(), argv.data(), envp.data()) != 0)
    return nullptr;
  // Only the child may hold the write end, or the pipe would never reach its end.
  write_end.reset();
  return std::make_unique<PosixTask>(pid, std::move(read_end));
}

}  // namespace berth
