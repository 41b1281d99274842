// A driver call failing at any point of a whole-flash program: the program either
// ends with its failure line or, where the failure does not matter (a sector that did
// not need unprotecting), leaves the whole image in the flash. It never hangs and
// never reports success over wrong contents.
#include <gtest/gtest.h>

#include <set>

#include "lib/regctl/spi_flash.h"
#include "tests/regctl/regctl_bench.h"

namespace berth {
namespace {

using testing::dock_controller;
using testing::json;
using testing::RegctlBench;

struct CleanRun {
  std::uint64_t setup_calls;  // made by the bench before the program starts
  std::uint64_t calls;        // made by the program
  std::vector<std::uint8_t> contents;
};

CleanRun clean_run(const std::vector<std::uint8_t>& image) {
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}}));
  const std::uint64_t setup = bench.driver().call_count(0);
  EXPECT_TRUE(program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), image, {}));
  const auto bytes = bench.flash().contents();
  return {setup, bench.driver().call_count(0) - setup, {bytes.begin(), bytes.end()}};
}

// Runs the program with the call at `position` (1 = its first) failing; true when
// the program reported success.
bool run_with_fault(const std::vector<std::uint8_t>& image, const CleanRun& clean, std::uint64_t position) {
  SCOPED_TRACE("failing call " + std::to_string(position) + " of " + std::to_string(clean.calls));
  RegctlBench bench(dock_controller({{"flash", {{"fill", "0x00"}}}, {"faults", {{"fail_call", clean.setup_calls + position}}}}));
  const bool ok = program_whole_9182_spi_flash_bytes(bench.connect, bench.dev(), image, {});
  EXPECT_LE(bench.driver().call_count(0) - clean.setup_calls, clean.calls);
  if (ok) {
    const auto bytes = bench.flash().contents();
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), clean.contents.begin())) << "success over wrong contents";
  } else {
    EXPECT_TRUE(bench.console().err().ends_with(" Err\nprogram_whole_9182_spi_flash error done\n")) << bench.console().err();
  }
  return ok;
}

// Every one of the first positions (the first sector's erase, its unprotect, and the
// first programs), then positions spread over the rest of the run, and the last call.
std::set<std::uint64_t> positions(std::uint64_t total, std::uint64_t first, std::uint64_t spread) {
  std::set<std::uint64_t> chosen;
  for (std::uint64_t p = 1; p <= std::min(first, total); ++p) chosen.insert(p);
  for (std::uint64_t i = 1; i <= spread; ++i) chosen.insert(first + (total - first) * i / spread);
  chosen.insert(total);
  return chosen;
}

TEST(FlashFaults, EveryFailingCallOfAWholeFlashProgramEndsClearly) {
  // Three sectors of data: the run erases all 128 sectors and programs three.
  const auto image = testing::pattern_bytes(3 * kFlashSectorSize - 100, 11);
  const CleanRun clean = clean_run(image);
  std::size_t survived = 0;
  std::size_t failed = 0;
  for (const auto position : positions(clean.calls, 400, 60)) (run_with_fault(image, clean, position) ? survived : failed)++;
  // The unprotect before each erase may fail without harm; every other call matters.
  EXPECT_GT(survived, 0u);
  EXPECT_GT(failed, survived);
}

TEST(FlashFaults, FailingCallsSpreadOverAFullImageEndClearly) {
  const auto image = testing::pattern_bytes(kFlashSize, 12);
  const CleanRun clean = clean_run(image);
  for (const auto position : {clean.calls / 3, 2 * clean.calls / 3, clean.calls}) run_with_fault(image, clean, position);
}

}  // namespace
}  // namespace berth
