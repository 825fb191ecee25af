#pragma once

#include "app/CommandLine.h"

namespace fernpad::app {

// Runs the server without windows until the stop is requested (see StopRequest). Returns the process exit
// code.
int RunHeadless(const CommandLine& cl);

}  // namespace fernpad::app
