#include "cli/refusal_exit.h"

#include "cli/cli_context.h"

namespace berth::cli {

int exit_status_for(linux_host::Refusal refusal) {
  using linux_host::Refusal;
  switch (refusal) {
    case Refusal::not_root: return kExitNotRoot;
    case Refusal::kernel_lockdown: return kExitKernelLockdown;
    case Refusal::strict_devmem: return kExitStrictDevmem;
    case Refusal::no_such_function: return kExitNoSuchFunction;
    case Refusal::not_an_attribute: return kExitNotAnAttribute;
    case Refusal::failed: break;
  }
  return kExitFailed;
}

int with_refusal_status(const CliContext& context, int status) {
  if (status != kExitFailed) return status;
  const auto refusal = context.machine->driver_refusal();
  return refusal ? exit_status_for(*refusal) : status;
}

}  // namespace berth::cli
