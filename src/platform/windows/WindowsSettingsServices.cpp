// The Windows answers of settings/SystemServices.h (program path, special folders, the registry) and the
// folders and autostart of the settings on Windows.
#include <shlobj.h>
#include <windows.h>

#include <exception>
#include <string>
#include <system_error>
#include <vector>

#include "settings/Autostart.h"
#include "settings/OrnivoSourceBase.h"
#include "settings/SettingsPaths.h"
#include "settings/SystemServices.h"

namespace fernpad::settings::system {
namespace {

class WindowsRegistryKey : public RegistryKey {
 public:
  explicit WindowsRegistryKey(HKEY key) : key_(key) {}
  ~WindowsRegistryKey() override { ::RegCloseKey(key_); }
  WindowsRegistryKey(const WindowsRegistryKey&) = delete;
  WindowsRegistryKey& operator=(const WindowsRegistryKey&) = delete;

  bool SetStringValue(const std::string& name, const std::string& value) override {
    // REG_SZ: the size counts the terminating zero.
    return ::RegSetValueExA(key_, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
  }
  bool DeleteValue(const std::string& name) override {
    const LSTATUS status = ::RegDeleteValueA(key_, name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
  }

 private:
  HKEY key_;
};

class WindowsRegistry : public Registry {
 public:
  std::unique_ptr<RegistryKey> CreateCurrentUserKey(const std::string& subKey) override {
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS)
      return nullptr;
    return std::make_unique<WindowsRegistryKey>(key);
  }
};

const KNOWNFOLDERID* KnownFolder(int csidl) {
  switch (csidl) {
    case kCsidlPersonal:
      return &FOLDERID_Documents;
    case kCsidlAppData:
      return &FOLDERID_RoamingAppData;
    case kCsidlLocalAppData:
      return &FOLDERID_LocalAppData;
    case kCsidlMyPictures:
      return &FOLDERID_Pictures;
    default:
      return nullptr;
  }
}

// Wide text to the ANSI code page; empty when a character has no ANSI form (a path with a stand-in
// character would name another folder).
std::string ToAnsi(const wchar_t* text) {
  BOOL lossy = FALSE;
  const int size = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lossy);
  if (size <= 1 || lossy) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out.data(), size, nullptr, &lossy);
  out.resize(static_cast<std::size_t>(size - 1));
  return lossy ? std::string() : out;
}

}  // namespace

std::filesystem::path ProgramPath() {
  // Paths may be longer than MAX_PATH: grow the buffer until the name fits (the limit of a path is 32767).
  for (DWORD size = MAX_PATH; size <= 65536; size *= 2) {
    std::vector<wchar_t> buffer(size);
    const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
    if (length == 0) return {};
    if (length < size) return std::filesystem::path(std::wstring(buffer.data(), length));
  }
  return {};
}

std::string SpecialFolder(int csidl) {
  const KNOWNFOLDERID* id = KnownFolder(csidl);
  if (id == nullptr) return {};
  PWSTR path = nullptr;
  std::string result;
  if (SUCCEEDED(::SHGetKnownFolderPath(*id, KF_FLAG_DEFAULT, nullptr, &path))) result = ToAnsi(path);
  ::CoTaskMemFree(path);  // also when the call failed
  return result;
}

std::shared_ptr<Registry> CurrentUserRegistry() {
  return std::make_shared<WindowsRegistry>();
}

}  // namespace fernpad::settings::system

namespace fernpad::settings {
namespace fs = std::filesystem;

fs::path UserConfigFolder() {
  // Not the updater's data folder (Ornivo\FernpadServer): its "option.dat" is a different file.
  const std::string appData = GetAppDataFolder();
  return appData.empty() ? fs::path() : fs::path(appData) / "fernpad-server";
}

fs::path UserCacheFolder() {
  return UserConfigFolder();
}

bool IsWritableFolder(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return false;
  const fs::path probe = folder / (".fernpad-write-test-" + std::to_string(::GetCurrentProcessId()));
  const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

std::string DefaultUploadFolder() {
  return "C:\\";
}

std::unique_ptr<Autostart> MakeDefaultAutostart() {
  std::string programPath;
  try {
    programPath = RunningProgramPath().string();
  } catch (const std::exception&) {  // a path without an ANSI form cannot go into the ANSI value
    return nullptr;
  }
  return std::make_unique<RunKeyAutostart>(system::CurrentUserRegistry(), programPath);
}

}  // namespace fernpad::settings
