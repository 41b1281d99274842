#pragma once
#include "platform/system_log_port.h"

namespace berth {

// The system log of a Linux machine (syslog), and optionally a copy on standard error
// for whoever runs a command by hand.
class PosixSystemLog final : public SystemLogPort {
 public:
  void log(std::string_view line) override;
  void set_echo_to_stderr(bool echo) { echo_ = echo; }

 private:
  bool echo_ = false;
};

}  // namespace berth
