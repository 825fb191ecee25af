#pragma once

#include "app/CommandLine.h"

namespace fernpad::app {

// Runs the Qt front end until the main window is closed. Returns the process exit code.
int RunGui(int argc, char** argv, const CommandLine& cl);

}  // namespace fernpad::app
