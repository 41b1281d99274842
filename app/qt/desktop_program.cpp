#include "app/qt/desktop_program.h"

#include <QApplication>
#include <QElapsedTimer>
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
#include "cli/cli_context.h"
#include "cli/commands.h"
#include "cli/demo_machine.h"
#include "platform/desktop/autostart_script_runner.h"
#include "platform/desktop/desktop_resources.h"
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
int print_status_menu(const sim::MachineFile& file, desktop::DesktopResources& resources) {
  cli::CliContext context;
  context.machine_file = file;
  context.machine = std::make_unique<sim::SimMachine>(context.machine_file);
  Services ports = context.machine->services(services());
  ports.resources = &resources;
  ScopedServices installed(ports);
  return cli::cmd_menu(context, {});
}

// The application itself: the machine's devices, and the desktop's resources, run loop
// and start at login.
int run_application(const sim::MachineFile& file, desktop::DesktopResources& resources) {
  sim::SimMachine machine(file);
  QtRunLoop run_loop;
  desktop::AutostartScriptRunner login_items(desktop::AutostartPlace{desktop::autostart_directory_from_environment()});
  Services ports = machine.services(services());
  ports.resources = &resources;
  ports.run_loop = &run_loop;
  ports.script_runner = &login_items;
  ScopedServices installed(ports);
  app::Application application;
  DesktopFrontEnd front_end(application);
  const int status = app::NSApplicationMain(application, app::make_interface_object);
  if (status != 0) say("the application did not start; the system log says why");
  return status;
}

int run(const ProgramOptions& options, int& argc, char** argv) {
  const sim::MachineFile file = options.machine ? sim::MachineFile::load(*options.machine) : cli::demo_machine_file();
  const fs::path program = desktop::current_program_path();
  const fs::path build_tree[] = {BERTH_APP_RESOURCES_DIR};
  const auto resource_directory = desktop::find_resource_directory(program, BERTH_INSTALLED_RESOURCES, build_tree);
  if (!resource_directory) {
    say("cannot find the application's resources (" BERTH_INSTALLED_RESOURCES " beside the program)");
    return 1;
  }
  desktop::DesktopResources resources(program, *resource_directory);
  if (!environment_set("DISPLAY") && !environment_set("WAYLAND_DISPLAY") && !environment_set("QT_QPA_PLATFORM")) {
    say("no display (neither DISPLAY nor WAYLAND_DISPLAY is set); the status menu would show:");
    return print_status_menu(file, resources);
  }
  choose_platform();
  QApplication qt_application(argc, argv);
  if (!has_real_display()) {
    say("the display cannot be reached; the status menu would show:");
    return print_status_menu(file, resources);
  }
  if (!wait_for_system_tray()) {
    say("the desktop has no system tray; the status menu would show:");
    return print_status_menu(file, resources);
  }
  set_up_desktop_application(*resource_directory);
  return run_application(file, resources);
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
  if (options.syslog_to_stderr) static_cast<PosixSystemLog*>(services().system_log)->set_echo_to_stderr(true);
  try {
    return run(options, argc, argv);
  } catch (const sim::MachineFileError& error) {
    say(sim::describe(options.machine.value_or("<demo machine>"), error));
    return 2;
  }
}

}  // namespace berth::qt
