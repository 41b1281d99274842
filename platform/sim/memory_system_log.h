#pragma once
#include <string>
#include <vector>

#include "platform/system_log_port.h"

namespace berth::sim {

// A system log that keeps its entries, for tests and for commands that print them.
class MemorySystemLog final : public SystemLogPort {
 public:
  void log(std::string_view line) override { lines_.emplace_back(line); }
  const std::vector<std::string>& lines() const { return lines_; }
  void clear() { lines_.clear(); }

 private:
  std::vector<std::string> lines_;
};

}  // namespace berth::sim
