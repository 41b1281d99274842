#pragma once
// berthctl's exit status when the live machine refused a register connection: one per
// cause, so scripts can tell them apart. 0, 1 and 2 keep their meanings.
#include "platform/linux/access_refusal.h"

namespace berth::cli {

inline constexpr int kExitNotRoot = 3;
inline constexpr int kExitKernelLockdown = 4;
inline constexpr int kExitStrictDevmem = 5;
inline constexpr int kExitNoSuchFunction = 6;
inline constexpr int kExitNotAnAttribute = 7;

int exit_status_for(linux_host::Refusal refusal);

struct CliContext;

// A command's exit status, replaced by its refusal's when the command failed because
// the live driver refused a connection.
int with_refusal_status(const CliContext& context, int status);

}  // namespace berth::cli
