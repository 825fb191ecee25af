#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "settings/Autostart.h"

// What only the OS can tell the settings. Each system answers: platform/windows/WindowsSettingsServices.cpp,
// and settings/SystemServicesPosix.cpp from /proc and XDG. The same files implement the folder functions
// of settings/SettingsPaths.h and MakeDefaultAutostart.
namespace fernpad::settings::system {

// The full path of the running program file, however long; empty when the system does not tell.
std::filesystem::path ProgramPath();

// The path of a shell special folder (the kCsidl* numbers), as the ANSI text the rest of the settings
// use; empty when it is unknown or cannot be written in the ANSI code page.
std::string SpecialFolder(int csidl);

// The current user's registry (Windows only).
std::shared_ptr<Registry> CurrentUserRegistry();

}  // namespace fernpad::settings::system
