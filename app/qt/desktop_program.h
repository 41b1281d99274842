#pragma once
// berthline-utility: the menu-bar application on the desktop, on the built-in demo
// machine or on a machine file. Where there is no display or no system tray to show
// it in, it says so and prints the status menu as `berthctl menu` does.
namespace berth::qt {

int run_desktop_program(int argc, char** argv);

}  // namespace berth::qt
