#pragma once
// The launcher: opens an application by its path, as the system's application
// launching service does.
#include <cstdint>
#include <string_view>

namespace berth {

class LauncherPort {
 public:
  virtual ~LauncherPort() = default;
  // Opens the application at posix_path; 0 when it was opened, an OS status otherwise.
  virtual std::int32_t open_application(std::string_view posix_path) = 0;
};

}  // namespace berth
