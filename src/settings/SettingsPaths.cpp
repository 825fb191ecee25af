#include "settings/SettingsPaths.h"

#include <system_error>

#include "settings/OrnivoSourceBase.h"
#include "settings/XdgDirs.h"

#if defined(_WIN32)
#include "settings/SystemServices.h"
#endif

#if defined(_WIN32)
#include <cstdio>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fernpad::settings {
namespace fs = std::filesystem;

namespace {
constexpr char kOptionsFileName[] = "option.dat";
}

fs::path RunningProgramPath() {
#if defined(_WIN32)
  return system::ProgramPath();
#else
  std::error_code ec;
  fs::path path = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : path;
#endif
}

fs::path UserConfigFolder() {
#if defined(_WIN32)
  // Not the updater's data folder (Ornivo\FernpadServer): its "option.dat" is a different file.
  const std::string appData = GetAppDataFolder();
  return appData.empty() ? fs::path() : fs::path(appData) / "fernpad-server";
#else
  const std::string config = xdg::ConfigHome();
  return config.empty() ? fs::path() : fs::path(config) / "fernpad-server";
#endif
}

bool IsWritableFolder(const fs::path& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return false;
#if defined(_WIN32)
  const fs::path probe = folder / ".fernpad-write-test";
  {
    std::FILE* file = std::fopen(probe.string().c_str(), "wb");
    if (file == nullptr) return false;
    std::fclose(file);
  }
  fs::remove(probe, ec);
  return true;
#else
  std::string pattern = (folder / ".fernpad-write-test-XXXXXX").string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(pattern.c_str());
  return true;
#endif
}

fs::path OptionsFilePath(const fs::path& programFolder, const std::optional<fs::path>& configDir) {
  std::error_code ec;
  if (configDir) {
    fs::create_directories(*configDir, ec);
    return *configDir / kOptionsFileName;
  }
  if (IsWritableFolder(programFolder)) return programFolder / kOptionsFileName;
  const fs::path user = UserConfigFolder();
  if (user.empty()) return programFolder / kOptionsFileName;
  fs::create_directories(user, ec);
  return user / kOptionsFileName;
}

fs::path ShownImageFolder() {
  const fs::path program = RunningProgramPath();
  if (!program.empty() && IsWritableFolder(program.parent_path())) return program.parent_path();
#if defined(_WIN32)
  const fs::path user = UserConfigFolder();
#else
  const std::string cache = xdg::CacheHome();
  const fs::path user = cache.empty() ? fs::path() : fs::path(cache) / "fernpad-server";
#endif
  if (user.empty()) return {};
  std::error_code ec;
  fs::create_directories(user, ec);
  return ec ? fs::path() : user;
}

std::string DefaultUploadFolder() {
#if defined(_WIN32)
  return "C:\\";
#else
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
#endif
}

}  // namespace fernpad::settings
