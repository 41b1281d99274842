#pragma once
// Why the kernel would not let us map a dock controller's registers, decided from facts
// gathered after the open or the mapping failed, and what the user can do about it.
// Each cause is a distinct refusal so that a front end can exit with its own status.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace berth::linux_host {

enum class Refusal {
  no_such_function,  // not a dock controller the scan accepted, or gone from the bus
  not_root,          // the resource file is root's
  kernel_lockdown,   // lockdown (as Secure Boot sets it) forbids mapping PCI BARs
  strict_devmem,     // CONFIG_IO_STRICT_DEVMEM: ahci holds the BAR, the kernel keeps it
  not_an_attribute,  // resource5 is a link or not a regular file: never opened
  failed,            // anything else, with the system's error
};

struct AccessFacts {
  bool function_present = true;  // accepted by the scan and its device directory exists
  bool resource_is_attribute = true;
  int error = 0;                 // errno of the open or the mapping; 0 when both worked
  unsigned euid = 0;
  std::string lockdown{};        // kernel/security/lockdown; empty where there is none
  std::string bound_driver{};    // the driver bound to the function; empty for none
};

// Nothing when access worked; otherwise the cause, first match in this order: no such
// function, not an attribute, permission (EACCES/EPERM) while not root, permission
// under an active lockdown, a refused mapping (EPERM/EINVAL) while ahci is bound, no
// resource file (no such function), anything else.
std::optional<Refusal> decide_refusal(const AccessFacts& facts);

// True when the lockdown file's selected mode (the one in brackets) is not "none".
bool lockdown_active(std::string_view lockdown_file);

// Fills in what the kernel tree says: the lockdown file under `sysfs_root` and the
// driver bound to the function whose device directory is given.
void gather_kernel_facts(const std::filesystem::path& sysfs_root, const std::filesystem::path& device_dir,
                         AccessFacts& facts);

// One line (with its line end) saying what happened and what to do.
std::string refusal_line(Refusal refusal, std::string_view function, int error);

}  // namespace berth::linux_host
