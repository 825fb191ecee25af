#include "app/Headless.h"

#include <iostream>
#include <optional>

#include "app/HeadlessUi.h"
#include "app/Startup.h"
#include "app/StopRequest.h"
#include "app/UpdateCheck.h"
#include "core/Log.h"
#include "platform/OsPlatform.h"
#include "server/Server.h"

namespace fernpad::app {

int RunHeadless(const CommandLine& cl) {
  try {
    StopRequest stopRequest;  // before any thread starts
    std::string backend;
    const auto platform = MakeOsPlatform(cl.backend, backend);
    log::Write(backend);
    HeadlessUi ui;
    settings::LiveSettings settings;
    const auto store = LoadSettings(cl, settings);
    Server server(*platform, ui, settings, ServerOptionsFrom(cl));
    SaveSettingsOnChange(settings, *store, server);
    AllowHosts(cl, settings);
    server.Start();
    log::Verbose("Fernpad Server is running (HTTP port ", server.HttpPort(), ").");
    std::optional<StartupUpdateCheck> updateCheck;
    if (settings.Get().CheckUpdatesOnStartup) updateCheck.emplace(cl.updateUrl);
    log::Verbose("stopping on ", stopRequest.Wait());
    updateCheck.reset();
    ui.BeginShutdown();
    server.Stop();
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "fernpad-server: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace fernpad::app
