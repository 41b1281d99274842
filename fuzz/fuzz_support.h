#pragma once
// What both fuzzers share: a failure that stops the run with its reason, and each
// input's scan on a new machine, which must give back every iterator and property
// table it took.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "lib/discovery/discovery.h"
#include "platform/sim/sim_registry.h"

namespace berth::fuzz {

[[noreturn]] inline void fail(const char* fuzzer, const char* what) {
  std::fprintf(stderr, "%s: %s\n", fuzzer, what);
  std::abort();
}

// Scans the installed machine. Each input is a new machine: the tables must not hand
// the handles of the last input's registry back to this one. A registry read from a
// dump has no injected failures: its scan must succeed and use only handles it holds.
inline void scan_and_check(const char* fuzzer, const sim::RegistryCounts& counts, bool from_dump) {
  std::memset(gIOPCIDevList, 0, sizeof gIOPCIDevList);
  std::memset(gCandidateM91xxDeviceList, 0, sizeof gCandidateM91xxDeviceList);
  std::memset(gCandidateFL1100DeviceList, 0, sizeof gCandidateFL1100DeviceList);
  gIOPCIDevCnt = gCandidateM91xxDevCnt = gCandidateFL1100DevCnt = 0;
  std::uint32_t docks = 0;
  if (scan_for_devices(&docks) != kIOReturnSuccess && from_dump) fail(fuzzer, "scan failed");
  if (counts.iterators_held() != 0 || counts.tables_held() != 0) fail(fuzzer, "scan kept an iterator or a property table");
  if (from_dump && (counts.bad_releases != 0 || counts.unheld_uses != 0)) fail(fuzzer, "scan used a handle it did not hold");
}

}  // namespace berth::fuzz
