#include <iostream>

#include "app/FrontEnd.h"

// The windowed mode of a build that has no front end yet.
namespace fernpad::app {

int RunGui(int, char**, const CommandLine&) {
  std::cerr << "fernpad-server: this build has no windows yet; use --headless\n";
  return 2;
}

}  // namespace fernpad::app
