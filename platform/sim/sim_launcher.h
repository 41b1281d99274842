#pragma once
// The simulated launcher: nothing is started; every path asked for is recorded.
#include <string>
#include <vector>

#include "platform/launcher_port.h"

namespace berth::sim {

class SimLauncher final : public LauncherPort {
 public:
  std::int32_t open_application(std::string_view posix_path) override {
    opened_.emplace_back(posix_path);
    return 0;
  }
  const std::vector<std::string>& opened() const { return opened_; }

 private:
  std::vector<std::string> opened_;
};

}  // namespace berth::sim
