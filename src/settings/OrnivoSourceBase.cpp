#include "settings/OrnivoSourceBase.h"

#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

#include "settings/SystemServices.h"

namespace fernpad::settings {
namespace fs = std::filesystem;

namespace {

std::mutex resolverMutex;
SpecialFolderResolver resolver;

// "/" everywhere, and the system's own separator ("\\" on Windows).
bool IsSeparator(char c) {
  return c == '/' || c == kPathSeparator;
}

}  // namespace

std::string GetSpecialFolderPath(int csidl) {
  SpecialFolderResolver current;
  {
    std::lock_guard lock(resolverMutex);
    current = resolver;
  }
  std::string path = current ? current(csidl) : system::SpecialFolder(csidl);
  // A root ("/", "C:\") keeps its separator; anything else loses a trailing one.
  while (path.size() > 1 && IsSeparator(path.back()) && !(path.size() == 3 && path[1] == ':'))
    path.pop_back();
  return path;
}

void SetSpecialFolderResolver(SpecialFolderResolver replacement) {
  std::lock_guard lock(resolverMutex);
  resolver = std::move(replacement);
}

std::string GetAppDataFolder() {
  std::string folder = GetSpecialFolderPath(kCsidlAppData);
  if (!folder.empty() && !IsSeparator(folder.back())) folder.push_back(kPathSeparator);
  return folder;
}

bool CreateDirectoryChain(const std::string& path) {
  std::string prefix;
  for (char c : path) {
    prefix.push_back(c);
    if (!IsSeparator(c)) continue;
    std::error_code ec;
    if (!fs::is_directory(prefix, ec)) fs::create_directory(prefix, ec);
  }
  std::error_code ec;
  return !path.empty() && fs::is_directory(path, ec);
}

std::string DataFolder(const std::string& programName) {
  const std::string appData = GetAppDataFolder();
  if (appData.empty()) return {};
  return appData + "Ornivo" + kPathSeparator + programName + kPathSeparator;
}

std::string DataFolderOptionsFile(const std::string& programName) {
  const std::string folder = DataFolder(programName);
  return folder.empty() ? std::string() : folder + "option.dat";
}

int WriteProgramPath(TOrnivoFile& file, const std::string& programPath) {
  return file.WriteString(kProgramPathKey, programPath);
}

UpdaterSettings ReadUpdaterSettings(const TOrnivoFile& file) {
  UpdaterSettings settings;
  settings.disableUpdateOnProgramStartup = file.ReadBoolean(kDisableUpdateOnProgramStartupKey);
  settings.proxyBasicAuthentication = file.ReadBoolean(kProxyBasicAuthenticationKey);
  settings.proxyServer = file.ReadString(kProxyServerKey);
  settings.proxyUsername = file.ReadString(kProxyUsernameKey);
  settings.proxyPassword = file.ReadString(kProxyPasswordKey);
  settings.proxyPort = file.ReadInteger(kProxyPortKey);
  return settings;
}

std::optional<UpdaterSettings> InitDataFolderFile(const std::string& programPath,
                                                  const std::string& programName) {
  const std::string folder = DataFolder(programName);
  if (folder.empty()) return std::nullopt;
  CreateDirectoryChain(folder);
  TOrnivoFile file;
  file.Open(folder + "option.dat", true, false);
  WriteProgramPath(file, programPath);
  file.Save();
  return ReadUpdaterSettings(file);
}

}  // namespace fernpad::settings
