#include "app/Startup.h"

#include <algorithm>

#include "core/Log.h"
#include "settings/SettingsPaths.h"

namespace fernpad::app {

ServerOptions ServerOptionsFrom(const CommandLine& cl) {
  ServerOptions options;
  options.httpPort = cl.httpPort;
  options.udpPort = cl.udpPort;
  options.udpAnswerPort = cl.udpAnswerPort;
  options.uploadPort = cl.uploadPort;
  return options;
}

std::unique_ptr<settings::OptionsStore> LoadSettings(const CommandLine& cl, settings::LiveSettings& live) {
  std::optional<std::filesystem::path> configDir;
  if (!cl.configDir.empty()) configDir = cl.configDir;
  auto store = std::make_unique<settings::OptionsStore>(
      settings::OptionsFilePath(settings::RunningProgramPath().parent_path(), configDir));
  live.Load(store->LoadOptions());
  log::Verbose("settings: ", store->File().string());
  if (store->RecoveredDamagedFile())
    log::Verbose("settings: the file was damaged; kept as ", store->DamagedFile().string(),
                 ", using defaults");
  return store;
}

void AllowHosts(const CommandLine& cl, settings::LiveSettings& live) {
  if (cl.allowHosts.empty()) return;
  live.Change([&](settings::Options& o) {
    for (const auto& host : cl.allowHosts)
      if (std::find(o.AllowedHosts.begin(), o.AllowedHosts.end(), host) == o.AllowedHosts.end())
        o.AllowedHosts.push_back(host);
  });
}

void SaveSettingsOnChange(settings::LiveSettings& live, settings::OptionsStore& store, Server& server) {
  settings::ConnectSaveHook(live, store, [&server](const settings::Options& o) {
    server.Input().cursor.SetJumpFix(o.CursorJumpFix);
  });
}

}  // namespace fernpad::app
