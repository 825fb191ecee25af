#pragma once

#include "app/CommandLine.h"

namespace fernpad::app {

// Runs the windowed front end of this build (Qt on Linux, Win32 on Windows) until its main window is
// closed. Returns the process exit code.
int RunGui(int argc, char** argv, const CommandLine& cl);

}  // namespace fernpad::app
