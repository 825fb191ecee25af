#pragma once

#include <memory>

#include "platform/Platform.h"

// The backend of the OS this program is built for; CMake compiles exactly one implementation.
namespace fernpad {

// Opens the OS services (on Linux the X display named by $DISPLAY). Throws std::runtime_error with a
// message for the user when they cannot be reached.
std::unique_ptr<Platform> MakeOsPlatform();

// The user's country code (international dialling code), read without opening a display.
int OsCountryCode();

}  // namespace fernpad
