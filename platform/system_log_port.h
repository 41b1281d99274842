#pragma once
#include <string_view>

namespace berth {

// The system log: one entry per call.
class SystemLogPort {
 public:
  virtual ~SystemLogPort() = default;
  virtual void log(std::string_view line) = 0;
};

}  // namespace berth
