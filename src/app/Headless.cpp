#include "app/Headless.h"

#include <csignal>
#include <iostream>
#include <optional>

#include "app/HeadlessUi.h"
#include "app/Startup.h"
#include "app/UpdateCheck.h"
#include "core/Log.h"
#include "platform/linux/X11Platform.h"
#include "server/Server.h"

namespace fernpad::app {

int RunHeadless(const CommandLine& cl) {
  // Block the stop signals in every thread; this one waits for them below.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  try {
    X11Platform platform;
    HeadlessUi ui;
    settings::LiveSettings settings;
    const auto store = LoadSettings(cl, settings);
    Server server(platform, ui, settings, ServerOptionsFrom(cl));
    SaveSettingsOnChange(settings, *store, server);
    AllowHosts(cl, settings);
    server.Start();
    log::Verbose("Fernpad Server is running (HTTP port ", server.HttpPort(), ").");
    std::optional<StartupUpdateCheck> updateCheck;
    if (settings.Get().CheckUpdatesOnStartup) updateCheck.emplace(cl.updateUrl);
    int signal = 0;
    sigwait(&stopSignals, &signal);
    log::Verbose("stopping on signal ", signal);
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
