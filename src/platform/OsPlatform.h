#pragma once

#include <memory>
#include <string>

#include "platform/Platform.h"

// The backend of the OS this program is built for; CMake compiles exactly one implementation.
namespace fernpad {

// Opens the OS services (on Linux the X display named by $DISPLAY). Throws std::runtime_error with a
// message for the user when they cannot be reached.
std::unique_ptr<Platform> MakeOsPlatform();

// Opens the backend named `backend` ("x11", "portal", "wlroots"; empty: the one the session calls for, on
// Linux from XDG_SESSION_TYPE, WAYLAND_DISPLAY and what the compositor offers) and sets `description` to
// one line for the user saying which backend runs and what to expect of it. Throws std::runtime_error with
// a message for the user when no backend can work here or the forced one cannot.
std::unique_ptr<Platform> MakeOsPlatform(const std::string& backend, std::string& description);

// The user's country code (international dialling code), read without opening a display.
int OsCountryCode();

}  // namespace fernpad
