#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "settings/OrnivoFile.h"

// The per-user data folder shared with the updater, and the keys of its "option.dat".
namespace fernpad::settings {

inline constexpr char kPathSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

// Shell special-folder numbers understood by GetSpecialFolderPath.
inline constexpr int kCsidlPersonal = 5;       // documents
inline constexpr int kCsidlAppData = 26;       // roaming application data
inline constexpr int kCsidlLocalAppData = 28;  // local application data
inline constexpr int kCsidlMyPictures = 39;    // pictures

// The name this program goes by in its data folder and on the update server.
inline constexpr char kProgramName[] = "FernpadServer";

// The path of a special folder without a trailing separator; empty when it cannot be determined.
// On Linux the XDG folders stand in: application data is $XDG_DATA_HOME (default ~/.local/share),
// documents and pictures come from the user's XDG user-dirs. Elsewhere the platform layer supplies the
// lookup with SetSpecialFolderResolver; without one every folder is unknown.
std::string GetSpecialFolderPath(int csidl);

// Replaces the built-in special-folder lookup (empty function: restore it).
using SpecialFolderResolver = std::function<std::string(int csidl)>;
void SetSpecialFolderResolver(SpecialFolderResolver resolver);

// The application-data folder with a trailing separator, or empty when it cannot be determined.
std::string GetAppDataFolder();

// Creates every missing folder along `path`, a path ending in a separator. A level that cannot be created
// is skipped without report; the result tells whether the whole path is a folder afterwards.
bool CreateDirectoryChain(const std::string& path);

// GetAppDataFolder() + "Ornivo" + programName, with a trailing separator. Empty when the application-data
// folder is unknown: nothing may then be written, rather than writing relative to the working folder.
std::string DataFolder(const std::string& programName = kProgramName);
// DataFolder() + "option.dat", or empty.
std::string DataFolderOptionsFile(const std::string& programName = kProgramName);

// Keys of the data-folder "option.dat".
inline const KeyPath kProgramPathKey{1, 1, 0, 2};
inline const KeyPath kDisableUpdateOnProgramStartupKey{2, 1, 1};
inline const KeyPath kProxyBasicAuthenticationKey{2, 1, 2};
inline const KeyPath kProxyServerKey{2, 1, 3};
inline const KeyPath kProxyUsernameKey{2, 1, 4};
inline const KeyPath kProxyPasswordKey{2, 1, 5};
inline const KeyPath kProxyPortKey{2, 1, 6};

// The updater's settings; absent values read as false, "" and 0.
struct UpdaterSettings {
  bool disableUpdateOnProgramStartup = false;
  bool proxyBasicAuthentication = false;
  std::string proxyServer;
  std::string proxyUsername;
  std::string proxyPassword;
  std::int32_t proxyPort = 0;
  friend bool operator==(const UpdaterSettings&, const UpdaterSettings&) = default;
};

// Records the full path of the running program under [1,1,0,2]. Returns the writer's result code.
int WriteProgramPath(TOrnivoFile& file, const std::string& programPath);
UpdaterSettings ReadUpdaterSettings(const TOrnivoFile& file);

// What the program-information component does when it starts: creates the data folder, records the
// program path in its "option.dat" (created when missing) and reads the updater's settings back.
// nullopt when there is no data folder. Throws OrnivoIoError when the file cannot be read or written.
std::optional<UpdaterSettings> InitDataFolderFile(const std::string& programPath,
                                                  const std::string& programName = kProgramName);

}  // namespace fernpad::settings
