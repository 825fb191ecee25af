#include "app/Startup.h"

#include <algorithm>

#include "core/Log.h"
#include "settings/SettingsPaths.h"
#include "settings/WebRemoteSettings.h"
#include "web/WebAccess.h"

namespace fernpad::app {

ServerOptions ServerOptionsFrom(const CommandLine& cl) {
  ServerOptions options;
  options.httpPort = cl.httpPort;
  options.udpPort = cl.udpPort;
  options.udpAnswerPort = cl.udpAnswerPort;
  options.uploadPort = cl.uploadPort;
  options.webRemote = cl.webRemote;
  options.webPort = cl.webPort;
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

void ApplyWebRemoteSettings(const settings::OptionsStore& store, ServerOptions& options) {
  const auto web = settings::LoadWebRemoteSettings(settings::WebRemoteSettingsPath(store.File()));
  options.webRemote = options.webRemote || web.enabled;
  if (web.keepAddress) options.webToken = web.token;
}

void KeepWebRemoteAddress(const settings::OptionsStore& store, const Server& server) {
  const auto path = settings::WebRemoteSettingsPath(store.File());
  auto web = settings::LoadWebRemoteSettings(path);
  if (!web.keepAddress || server.WebToken().empty() || web.token == server.WebToken()) return;
  web.token = server.WebToken();
  try {
    settings::SaveWebRemoteSettings(path, web);
  } catch (const std::exception& e) {
    log::Verbose("settings: the browser remote's address is not kept: ", e.what());
  }
}

void StoreWebRemoteSettings(const settings::OptionsStore& store, const Server& server, bool enabled,
                            bool keep) {
  const auto path = settings::WebRemoteSettingsPath(store.File());
  settings::WebRemoteSettings web = settings::LoadWebRemoteSettings(path);
  web.enabled = enabled;
  web.keepAddress = keep;
  if (!keep)
    web.token.clear();
  else if (!server.WebToken().empty())
    web.token = server.WebToken();
  settings::SaveWebRemoteSettings(path, web);
}

std::vector<std::string> WebRemoteAddresses(Platform& platform, const Server& server) {
  std::vector<std::string> remotes;
  if (!server.WebPort()) return remotes;
  for (const auto& address : platform.LocalIPv4Addresses())
    remotes.push_back(web::RemoteAddress(address, server.WebPort(), server.WebToken()));
  return remotes;
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
