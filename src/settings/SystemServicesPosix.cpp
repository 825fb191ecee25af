// The POSIX answers of settings/SystemServices.h and the folders and autostart of the settings: the
// program from /proc, the user's folders from XDG, autostart by an XDG autostart entry.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "settings/Autostart.h"
#include "settings/OrnivoSourceBase.h"
#include "settings/SettingsPaths.h"
#include "settings/SystemServices.h"
#include "settings/XdgDirs.h"

namespace fernpad::settings {
namespace fs = std::filesystem;

fs::path system::ProgramPath() {
  std::error_code ec;
  fs::path path = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : path;
}

std::string system::SpecialFolder(int csidl) {
  switch (csidl) {
    case kCsidlAppData:
    case kCsidlLocalAppData:
      return xdg::DataHome();
    case kCsidlMyPictures:
      return xdg::UserDir("PICTURES");
    case kCsidlPersonal:
      return xdg::UserDir("DOCUMENTS");
    default:
      return {};
  }
}

std::unique_ptr<Autostart> MakeDefaultAutostart() {
  const char* path = std::getenv("PATH");
  return std::make_unique<XdgAutostart>(AutostartCommand(RunningProgramPath(), path ? path : ""),
                                        XdgAutostartEntryPath());
}

fs::path UserConfigFolder() {
  const std::string config = xdg::ConfigHome();
  return config.empty() ? fs::path() : fs::path(config) / "fernpad-server";
}

fs::path UserCacheFolder() {
  const std::string cache = xdg::CacheHome();
  return cache.empty() ? fs::path() : fs::path(cache) / "fernpad-server";
}

bool IsWritableFolder(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return false;
  std::string pattern = (folder / ".fernpad-write-test-XXXXXX").string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(pattern.c_str());
  return true;
}

std::string DefaultUploadFolder() {
  std::string folder = GetSpecialFolderPath(kCsidlMyPictures);
  if (folder.empty()) {
    const std::string home = xdg::Home();
    std::error_code ec;
    if (!home.empty() && fs::is_directory(home + "/Pictures", ec)) {
      folder = home + "/Pictures";
    } else {
      folder = home;
    }
  }
  if (folder.empty() || folder.back() != '/') folder.push_back('/');
  return folder;
}

}  // namespace fernpad::settings
