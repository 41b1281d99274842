#pragma once
// Start-up as the application framework does it: load the main interface file (which
// makes the application delegate and connects its outlets), make its delegate the
// application's, tell the delegate that launching has finished, then run the main run
// loop until the application terminates.
#include <string>

#include "app/model/application.h"
#include "app/model/interface_file.h"

namespace berth::app {

inline constexpr const char* kMainInterfaceFile = "MainMenu";

// Everything up to the run loop. The loaded objects live as long as the result.
InterfaceLoadResult NSApplicationLaunch(Application& application, const ObjectFactory& classes);
// Launches, then runs the main run loop until the application terminates; 0, or 1 when
// the interface file could not be loaded (the reason goes to the system log).
int NSApplicationMain(Application& application, const ObjectFactory& classes);

}  // namespace berth::app
