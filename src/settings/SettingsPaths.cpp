#include "settings/SettingsPaths.h"

#include <system_error>

#include "settings/SystemServices.h"

namespace fernpad::settings {
namespace fs = std::filesystem;

namespace {
constexpr char kOptionsFileName[] = "option.dat";
}

fs::path RunningProgramPath() {
  return system::ProgramPath();
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
  const fs::path user = UserCacheFolder();
  if (user.empty()) return {};
  std::error_code ec;
  fs::create_directories(user, ec);
  return ec ? fs::path() : user;
}

}  // namespace fernpad::settings
