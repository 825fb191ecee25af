#include "app/gui/GuiApp.h"

#include <sys/socket.h>
#include <unistd.h>
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>
#include <csignal>
#include <cstdlib>
#include <iostream>

#include "app/Placement.h"
#include "app/Startup.h"
#include "app/Texts.h"
#include "app/UpdateCheck.h"
#include "app/gui/MainWindow.h"
#include "app/gui/QtUi.h"
#include "app/gui/QtUpdaterUi.h"
#include "app/gui/SmallWindows.h"
#include "core/Log.h"
#include "platform/OsPlatform.h"
#include "server/Server.h"
#include "updater/Updater.h"

namespace fernpad::app {
namespace {

// SIGTERM and SIGINT end the event loop like closing the window does (a logout, Ctrl+C in a terminal):
// the handler only writes a byte, the event loop reads it.
int g_stopSignalPipe[2] = {-1, -1};

void OnStopSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = write(g_stopSignalPipe[1], &byte, 1);
}

void QuitOnStopSignals(QApplication& app) {
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, g_stopSignalPipe) != 0) return;
  auto* notifier = new QSocketNotifier(g_stopSignalPipe[0], QSocketNotifier::Read, &app);
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

}  // namespace

int RunGui(int argc, char** argv, const CommandLine& cl) {
  // The windows place themselves (the settings window beyond the screen's edge, the presenter dot over
  // everything at the handheld's point), which a Wayland client cannot do: in a Wayland session they are
  // X11 windows through XWayland when there is one, unless the user chose Qt's platform.
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const char* x11 = std::getenv("DISPLAY");
  if (wayland && *wayland && x11 && *x11 && !std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "xcb", 1);
  QApplication app(argc, argv);
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setQuitOnLastWindowClosed(false);
  QuitOnStopSignals(app);

  std::unique_ptr<Platform> platform;
  std::string backend;
  try {
    platform = MakeOsPlatform(cl.backend, backend);
    std::cerr << backend << '\n';
  } catch (const std::exception& e) {
    std::cerr << "fernpad-server: " << e.what() << '\n';
    return 1;
  }
  settings::LiveSettings settings;
  const auto store = LoadSettings(cl, settings);

  // The five windows, in this order; the main window first.
  TForm1 form1(settings, [&] { return GetLocalAddresses(*platform); });
  TPointerForm pointerForm;
  TImageForm imageForm;
  TForm4 form4;
  TForm5 form5;

  QtUi ui({form1, pointerForm, imageForm, form4, form5});
  QObject::connect(&form1, &TForm1::PointerColorChanged, &pointerForm, &TPointerForm::SetFill);
  ServerOptions options = ServerOptionsFrom(cl);
  ApplyWebRemoteSettings(*store, options);
  Server server(*platform, ui, settings, options);
  SaveSettingsOnChange(settings, *store, server);
  AllowHosts(cl, settings);

  // Off screen, beyond the rightmost monitor (kept on screen when there is no tray to bring it back).
  std::vector<Rect> monitors;
  for (QScreen* screen : QGuiApplication::screens()) {
    const QRect g = screen->geometry();
    monitors.push_back({g.x(), g.y(), g.width(), g.height()});
  }
  if (form1.TrayAvailable())
    form1.move(OffScreenLeft(monitors), form1.y());
  else
    form1.CentreOnFirstMonitor();
  form1.LoadControls(settings.Get(), store->FallbackFolder());

  try {
    server.Start();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Fernpad Server", QString("The server cannot start: ") + e.what());
    return 1;
  }
  form1.AttachDevices(&server.Devices());
  KeepWebRemoteAddress(*store, server);
  WebRemoteGroup webRemote(server, *platform, *store);
  form1.AttachWebRemote(&webRemote);
  // A request under way when the program closes ends at once rather than at its time-out.
  form1.UpdaterConfigSource = [&checks = form1.UpdateCheck(), url = cl.updateUrl,
                               country = server.CountryCode()] {
    return StoppableConfig(url, country, [&checks] { return checks.ShuttingDown(); });
  };
  form1.SetCountryAndLayout(server.CountryCode(), QString::fromStdString(server.KeyboardLayoutName()));
  form1.SetBackend(QString::fromStdString(backend));
  log::Verbose("Fernpad Server is running (HTTP port ", server.HttpPort(), ").");
  if (form1.TrayAvailable())
    form1.TrayIcon()->showMessage(kTrayBalloon, kTrayBalloon, QSystemTrayIcon::Information);
  form1.show();

  const int code = app.exec();
  ui.BeginShutdown();
  form1.EndUpdateCheck();
  server.Stop();
  return code;
}

}  // namespace fernpad::app
