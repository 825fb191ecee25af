#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Where the options file lives and which folder received photos go to by default.
namespace fernpad::settings {

// The full path of the running program file; empty when the system does not tell.
std::filesystem::path RunningProgramPath();

// The per-user settings folder: $XDG_CONFIG_HOME/fernpad-server (default ~/.config/fernpad-server) on
// Linux, %APPDATA%\fernpad-server on Windows (apart from the updater's data folder, whose "option.dat"
// is another file). Empty when it cannot be determined.
std::filesystem::path UserConfigFolder();

// The per-user cache folder: $XDG_CACHE_HOME/fernpad-server (default ~/.cache/fernpad-server) on Linux, the
// same as UserConfigFolder() on Windows. Empty when it cannot be determined.
std::filesystem::path UserCacheFolder();

// True when a file can be created in `folder` (tried, not guessed from permission bits).
bool IsWritableFolder(const std::filesystem::path& folder);

// The options file "option.dat": in `configDir` when given (created if missing); otherwise in
// `programFolder` when that is writable, the portable case; otherwise in UserConfigFolder(), created if
// missing. Falls back to `programFolder` when there is no user folder either; saving will then fail.
std::filesystem::path OptionsFilePath(const std::filesystem::path& programFolder,
                                      const std::optional<std::filesystem::path>& configDir = std::nullopt);

// Where the photo shown full screen is kept as "temp.jpg": the program's folder when it is writable (the
// portable case), otherwise the per-user cache folder $XDG_CACHE_HOME/fernpad-server (default
// ~/.cache/fernpad-server; Windows: UserConfigFolder()), created if missing. Empty when there is neither.
std::filesystem::path ShownImageFolder();

// The folder received photos go to when nothing is stored, ending in a separator. Windows: "C:\".
// Linux: the user's XDG pictures folder, else ~/Pictures when it exists, else the home folder; "/" only
// when there is no home at all.
std::string DefaultUploadFolder();

}  // namespace fernpad::settings
