#include "app/Headless.h"

#include <iostream>
#include <optional>

#include "app/HeadlessUi.h"
#include "app/Startup.h"
#include "app/StopRequest.h"
#include "app/TerminalInput.h"
#include "app/UpdateCheck.h"
#include "core/Log.h"
#include "platform/OsPlatform.h"
#include "server/Server.h"
#include "web/QrCode.h"

namespace fernpad::app {

namespace {

// The addresses a phone can open the browser remote at, one per network of this PC, each with its QR code
// when a person reads the output on a terminal.
void PrintWebRemote(Platform& platform, const Server& server) {
  if (!server.WebStartError().empty())
    std::cerr << "fernpad-server: the browser remote is off: " << server.WebStartError() << std::endl;
  const auto remotes = WebRemoteAddresses(platform, server);
  if (remotes.empty()) return;
  const bool terminal = terminal::IsTerminal(1);
  std::cout << "Browser remote: open this address on a phone or tablet on the same network:\n";
  for (const auto& remote : remotes) {
    std::cout << "  " << remote << '\n';
    if (!terminal) continue;
    if (const auto code = web::MakeQrCode(remote)) std::cout << web::QrTerminalText(*code);
  }
  std::cout << std::flush;
}

}  // namespace

int RunHeadless(const CommandLine& cl) {
  try {
    StopRequest stopRequest;  // before any thread starts
    std::string backend;
    const auto platform = MakeOsPlatform(cl.backend, backend);
    log::Write(backend);
    HeadlessUi ui;
    settings::LiveSettings settings;
    const auto store = LoadSettings(cl, settings);
    ServerOptions options = ServerOptionsFrom(cl);
    ApplyWebRemoteSettings(*store, options);
    Server server(*platform, ui, settings, options);
    SaveSettingsOnChange(settings, *store, server);
    AllowHosts(cl, settings);
    server.Start();
    log::Verbose("Fernpad Server is running (HTTP port ", server.HttpPort(), ").");
    KeepWebRemoteAddress(*store, server);
    PrintWebRemote(*platform, server);
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
