#include "platform/posix/child_groups.h"

#include <signal.h>

#include <array>
#include <atomic>

namespace berth {
namespace {

// Lock-free slots, so that the signal handler may read them at any moment.
std::array<std::atomic<pid_t>, 32> gGroups{};
static_assert(std::atomic<pid_t>::is_always_lock_free);

constexpr std::array kInterrupts{SIGINT, SIGTERM, SIGHUP};

// Only async-signal-safe calls: kill, sigaction, raise.
void on_interrupt(int signal_number) {
  for (auto& slot : gGroups)
    if (const pid_t group = slot.load(); group > 0) ::kill(-group, SIGKILL);
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  ::sigaction(signal_number, &default_action, nullptr);
  ::raise(signal_number);
}

}  // namespace

void remember_child_group(pid_t group) {
  for (auto& slot : gGroups) {
    pid_t empty = 0;
    if (slot.compare_exchange_strong(empty, group)) return;
  }
}

void forget_child_group(pid_t group) {
  for (auto& slot : gGroups) {
    pid_t expected = group;
    if (slot.compare_exchange_strong(expected, 0)) return;
  }
}

void kill_child_groups_on_interrupt() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : kInterrupts) sigaddset(&action.sa_mask, signal_number);
  for (const int signal_number : kInterrupts) {
    struct sigaction previous {};
    ::sigaction(signal_number, nullptr, &previous);
    // A signal the program was started to ignore (nohup) stays ignored.
    if (previous.sa_handler != SIG_IGN) ::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace berth
