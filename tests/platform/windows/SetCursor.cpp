// Moves the cursor with the Windows backend and ends: cursor_seen_by_x.sh then asks the X server where
// its pointer is. Usage: set_cursor X Y
#include <cstdlib>

#include "platform/windows/WindowsPlatform.h"

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  fernpad::WindowsPlatform platform;
  return platform.SetCursorPos({std::atoi(argv[1]), std::atoi(argv[2])}) ? 0 : 1;
}
