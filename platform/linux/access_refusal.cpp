#include "platform/linux/access_refusal.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/services.h"

namespace berth::linux_host {

bool lockdown_active(std::string_view lockdown_file) {
  const std::size_t open = lockdown_file.find('[');
  const std::size_t close = lockdown_file.find(']', open);
  if (open == std::string_view::npos || close == std::string_view::npos) return false;
  return lockdown_file.substr(open + 1, close - open - 1) != "none";
}

std::optional<Refusal> decide_refusal(const AccessFacts& facts) {
  if (!facts.function_present) return Refusal::no_such_function;
  if (!facts.resource_is_attribute) return Refusal::not_an_attribute;
  const int error = facts.error;
  if (error == 0) return std::nullopt;
  const bool denied = error == EACCES || error == EPERM;
  if (denied && facts.euid != 0) return Refusal::not_root;
  if (error == EPERM && lockdown_active(facts.lockdown)) return Refusal::kernel_lockdown;
  if ((error == EPERM || error == EINVAL) && facts.bound_driver == "ahci") return Refusal::strict_devmem;
  if (error == ENOENT || error == ENODEV) return Refusal::no_such_function;
  return Refusal::failed;
}

void gather_kernel_facts(const std::filesystem::path& sysfs_root, const std::filesystem::path& device_dir,
                         AccessFacts& facts) {
  std::ifstream lockdown(sysfs_root / "kernel/security/lockdown");
  facts.lockdown.assign(std::istreambuf_iterator<char>(lockdown), std::istreambuf_iterator<char>());
  std::error_code error;
  const auto driver = std::filesystem::read_symlink(device_dir / "driver", error);
  facts.bound_driver = error ? std::string() : driver.filename().string();
}

std::string refusal_line(Refusal refusal, std::string_view function, int error) {
  const std::string name(function);
  switch (refusal) {
    case Refusal::no_such_function:
      return format("no dock SATA controller at PCI function %s: the function, or its BAR5 (resource5), is not on "
                    "this machine\n", name.c_str());
    case Refusal::not_root:
      return format("the registers of %s can be mapped by root only: run as root (sudo)\n", name.c_str());
    case Refusal::kernel_lockdown:
      return format("the kernel is locked down and refuses to map the registers of %s: Secure Boot locks the kernel; "
                    "turn Secure Boot off in the firmware setup to reach the dock's registers\n",
                    name.c_str());
    case Refusal::strict_devmem:
      return format("the ahci driver holds the registers of %s and the kernel keeps them to it (strict devmem): boot "
                    "with iomem=relaxed on the kernel command line, or unbind ahci while programming "
                    "(echo %s > /sys/bus/pci/drivers/ahci/unbind; the dock's disks go away until it is bound again)\n",
                    name.c_str(), name.c_str());
    case Refusal::not_an_attribute:
      return format("resource5 of %s is a link or not a regular file, so it is not the kernel's: refused\n", name.c_str());
    case Refusal::failed: break;
  }
  return format("the registers of %s cannot be mapped: %s\n", name.c_str(), std::strerror(error));
}

}  // namespace berth::linux_host
