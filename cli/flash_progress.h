#pragma once
// The progress of a flash program on standard error. On a terminal it is a bar that
// stays on the last line: every line written meanwhile (the library's progress and
// failure lines) goes above it. Otherwise it is a line at every tenth.
#include <cstddef>
#include <memory>

#include "platform/services.h"

namespace berth::cli {

class FlashProgress {
 public:
  explicit FlashProgress(std::size_t total);
  // Leaves the bar where it got, on a line of its own.
  ~FlashProgress();
  FlashProgress(const FlashProgress&) = delete;
  FlashProgress& operator=(const FlashProgress&) = delete;

  void show(std::size_t done);

 private:
  class BarConsole;

  std::size_t total_;
  unsigned last_tenth_ = 11;
  std::unique_ptr<BarConsole> bar_;
  std::unique_ptr<ScopedServices> installed_;  // the bar's console, while it is shown
};

}  // namespace berth::cli
