#include "platform/posix/posix_system_log.h"

#include <syslog.h>

#include <cstdio>
#include <string>

namespace berth {

void PosixSystemLog::log(std::string_view line) {
  const std::string entry(line);
  ::syslog(LOG_NOTICE, "%s", entry.c_str());
  if (echo_) std::fprintf(stderr, "syslog: %s\n", entry.c_str());
}

}  // namespace berth
