#pragma once
// The ports the running program has installed. The core reaches the platform only
// through these; main() or a test fixture installs the backends.
#include <cstdarg>
#include <string>
#include <string_view>

#include "platform/console_port.h"
#include "platform/driver_port.h"
#include "platform/launcher_port.h"
#include "platform/processes_port.h"
#include "platform/registry_port.h"
#include "platform/resources_port.h"
#include "platform/system_log_port.h"
#include "platform/clock_port.h"
#include "platform/disks_port.h"
#include "platform/file_system_port.h"
#include "platform/script_runner_port.h"
#include "platform/workspace_port.h"

namespace berth {

struct Services {
  RegistryPort* registry = nullptr;
  ConsolePort* console = nullptr;
  SystemLogPort* system_log = nullptr;
  ResourcesPort* resources = nullptr;
  DisksPort* disks = nullptr;
  FileSystemPort* file_system = nullptr;
  WorkspacePort* workspace = nullptr;
  RunLoopPort* run_loop = nullptr;
  ScriptRunnerPort* script_runner = nullptr;
  DriverPort* driver = nullptr;
  LauncherPort* launcher = nullptr;
  ProcessesPort* processes = nullptr;
};

Services& services();

// Installs a set of ports for the lifetime of the object and restores the previous
// set afterwards (tests nest these freely).
class ScopedServices {
 public:
  explicit ScopedServices(const Services& installed);
  ~ScopedServices();
  ScopedServices(const ScopedServices&) = delete;
  ScopedServices& operator=(const ScopedServices&) = delete;

 private:
  Services previous_;
};

// printf-style helpers over the installed ports.
std::string vformat(const char* format, std::va_list args);
[[gnu::format(printf, 1, 2)]] std::string format(const char* format, ...);
void write_out(std::string_view text);
void write_err(std::string_view text);
[[gnu::format(printf, 1, 2)]] void err_printf(const char* format, ...);
[[gnu::format(printf, 1, 2)]] void syslog_printf(const char* format, ...);

}  // namespace berth
