#include "app/qt/desktop_program.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/app_delegate.h"
#include "app/model/application_main.h"
#include "app/qt/app_icon.h"
#include "app/qt/desktop_front_end.h"
#include "app/qt/program_options.h"
#include "app/qt/qt_run_loop.h"
#include "app/app_texts.h"
#include "app/headless_app.h"
#include "app/status_menu_report.h"
#include "platform/desktop/autostart_script_runner.h"
#include "platform/desktop/desktop_resources.h"
#include "platform/linux/udev_monitor.h"
#include "platform/machine/machine.h"
#include "platform/posix/posix_console.h"
#include "platform/posix/posix_processes.h"
#include "platform/posix/posix_system_log.h"
#include "platform/services.h"

namespace berth::qt {
namespace {

namespace fs = std::filesystem;

// A tray host started with the session may come up a moment after the program.
constexpr qint64 kTrayWaitMilliseconds = 3000;
constexpr unsigned long kTrayPollMilliseconds = 100;

bool environment_set(const char* name) {
  const char* value = std::getenv(name);
  return value && *value != '\0';
}

void say(const std::string& line) { std::fprintf(stderr, "%s: %s\n", kProgramName, line.c_str()); }

// Unless the user chose a platform, the session's own, and when its display cannot be
// reached, Qt's offscreen platform: the program then knows, instead of aborting.
void choose_platform() {
  if (environment_set("QT_QPA_PLATFORM")) return;
  ::setenv("QT_QPA_PLATFORM", environment_set("WAYLAND_DISPLAY") ? "wayland;xcb;offscreen" : "xcb;offscreen", 1);
}

bool has_real_display() {
  const QString platform = QGuiApplication::platformName();
  return platform != "offscreen" && platform != "minimal";
}

bool wait_for_system_tray() {
  QElapsedTimer waited;
  waited.start();
  while (!QSystemTrayIcon::isSystemTrayAvailable()) {
    if (waited.elapsed() >= kTrayWaitMilliseconds) return false;
    QThread::msleep(kTrayPollMilliseconds);
    QCoreApplication::processEvents();
  }
  return true;
}

// The status menu on the machine, printed as berthctl prints it, with the program's
// own resources (and the simulated script runner: nothing is registered).
int print_status_menu(const Services& ports) {
  ScopedServices installed(ports);
  app::HeadlessApp headless;
  if (!headless.launched()) {
    say("the application did not start: " + headless.error());
    return 1;
  }
  headless.open_status_menu();
  std::fputs(app::status_menu_text(headless.status_menu()).c_str(), stdout);
  return 0;
}

// On the live machine, docks and disks that come or go while the menu is closed rebuild
// it at once (the menu rebuilds at every opening anyway); udev tells, nothing polls.
std::unique_ptr<QSocketNotifier> watch_devices(std::optional<linux_host::UdevMonitor>& monitor,
                                               app::Application& application) {
  if (!monitor) return nullptr;
  auto notifier = std::make_unique<QSocketNotifier>(monitor->fd(), QSocketNotifier::Read);
  QObject::connect(notifier.get(), &QSocketNotifier::activated, [&monitor, &application] {
    if (monitor->drain()) application.send_action(app::kDevicesChangedAction, nullptr);
  });
  return notifier;
}

// The application itself: the machine's devices, and the desktop's resources, run loop
// and start at login.
int run_application(Services ports, const machine::Machine& machine) {
  QtRunLoop run_loop;
  desktop::AutostartScriptRunner login_items(desktop::AutostartPlace{desktop::autostart_directory_from_environment()});
  ports.run_loop = &run_loop;
  ports.script_runner = &login_items;
  ScopedServices installed(ports);
  app::Application application;
  DesktopFrontEnd front_end(application, machine.is_demo() ? "demo machine (no dock of this computer)" : "");
  std::optional<linux_host::UdevMonitor> monitor;
  if (machine.choice().source == machine::MachineSource::live) monitor = linux_host::UdevMonitor::open();
  const auto notifier = watch_devices(monitor, application);
  const int status = app::NSApplicationMain(application, app::make_interface_object);
  if (status != 0) say("the application did not start; the system log says why");
  return status;
}

int run(const ProgramOptions& options, const Services& base, int& argc, char** argv) {
  const machine::HostPaths host = machine::find_host_paths();
  if (host.resources.empty()) {
    say("cannot find the application's resources (share/berthline-utility beside the program)");
    return 1;
  }
  const auto machine = machine::Machine::open(options.machine, host);
  if (machine->is_demo()) say("running the built-in demo machine, not a dock of this computer");
  desktop::DesktopResources resources(host.program, host.resources);
  Services ports = machine->services(base);
  ports.resources = &resources;
  if (!environment_set("DISPLAY") && !environment_set("WAYLAND_DISPLAY") && !environment_set("QT_QPA_PLATFORM")) {
    say("no display (neither DISPLAY nor WAYLAND_DISPLAY is set); the status menu would show:");
    return print_status_menu(ports);
  }
  choose_platform();
  QApplication qt_application(argc, argv);
  if (!has_real_display()) {
    say("the display cannot be reached; the status menu would show:");
    return print_status_menu(ports);
  }
  if (!wait_for_system_tray()) {
    say("the desktop has no system tray; the status menu would show:");
    return print_status_menu(ports);
  }
  set_up_desktop_application(host.resources);
  return run_application(ports, *machine);
}

}  // namespace

int run_desktop_program(int argc, char** argv) {
  const ProgramOptions options = parse_program_options(std::vector<std::string_view>(argv + 1, argv + argc));
  if (options.help) {
    std::fputs(kProgramUsage, stdout);
    return 0;
  }
  if (!options.error.empty()) {
    say(options.error);
    std::fputs(kProgramUsage, stderr);
    return 2;
  }
  PosixConsole console;
  PosixSystemLog system_log;
  PosixProcesses processes;
  system_log.set_echo_to_stderr(options.syslog_to_stderr);
  Services base;
  base.console = &console;
  base.system_log = &system_log;
  base.processes = &processes;
  try {
    return run(options, base, argc, argv);
  } catch (const machine::MachineError& error) {
    say(error.what());
    return 2;
  }
}

}  // namespace berth::qt
