// The installer on Windows: "Update.exe", started through the shell.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "updater/Updater.h"

namespace fernpad::updater {

std::string InstallerName() {
  return "Update.exe";
}

bool OpenInstaller(const std::filesystem::path& installer) {
  // A result above 32 means the shell started it.
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", installer.wstring().c_str(), nullptr, nullptr, SW_SHOW));
  return result > 32;
}

}  // namespace fernpad::updater
