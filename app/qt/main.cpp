// berthline-utility: the Vantrel Berthline Utility as a desktop program.
#include "app/qt/desktop_program.h"

int main(int argc, char** argv) { return berth::qt::run_desktop_program(argc, argv); }
