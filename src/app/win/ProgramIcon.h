#pragma once

#include <windows.h>

namespace fernpad::app {

// The program's picture, as the Qt front end draws it: a green disc with a white handheld upright on it,
// 32 by 32 pixels. The caller destroys it (DestroyIcon); the system's application icon when it cannot be
// made.
HICON MakeProgramIcon();

}  // namespace fernpad::app
