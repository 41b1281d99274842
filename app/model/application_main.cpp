#include "app/model/application_main.h"

#include "platform/services.h"

namespace berth::app {

InterfaceLoadResult NSApplicationLaunch(Application& application, const ObjectFactory& classes) {
  InterfaceLoadResult result = load_interface_file(kMainInterfaceFile, classes);
  if (!result.loaded) return result;
  application.set_delegate(result.loaded->application_delegate);
  if (auto* delegate = dynamic_cast<ApplicationDelegate*>(result.loaded->application_delegate))
    delegate->applicationDidFinishLaunching();
  return result;
}

int NSApplicationMain(Application& application, const ObjectFactory& classes) {
  const InterfaceLoadResult launched = NSApplicationLaunch(application, classes);
  if (!launched.loaded) {
    syslog_printf("Unable to load the main interface file: %s", launched.error.c_str());
    return 1;
  }
  if (RunLoopPort* run_loop = services().run_loop) {
    constexpr double kForever = 1e300;
    run_loop->run_until([&application] { return application.is_terminated(); }, kForever);
  }
  return 0;
}

}  // namespace berth::app
