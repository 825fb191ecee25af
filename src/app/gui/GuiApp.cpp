#include "app/gui/GuiApp.h"

#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <iostream>

#include "app/Placement.h"
#include "app/Startup.h"
#include "app/gui/MainWindow.h"
#include "app/gui/QtUi.h"
#include "app/gui/SmallWindows.h"
#include "core/Log.h"
#include "platform/linux/X11Platform.h"
#include "server/Server.h"

namespace fernpad::app {

int RunGui(int argc, char** argv, const CommandLine& cl) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Tactivo Server");
  QApplication::setQuitOnLastWindowClosed(false);

  std::unique_ptr<Platform> platform;
  try {
    platform = std::make_unique<X11Platform>();
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

  QtUi ui(form1, pointerForm);
  QObject::connect(&form1, &TForm1::PointerColorChanged, &pointerForm, &TPointerForm::SetFill);
  ServerOptions options;
  options.httpPort = cl.httpPort;
  options.udpPort = cl.udpPort;
  options.udpAnswerPort = cl.udpAnswerPort;
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
  else if (!monitors.empty()) {
    const Point at = CenteredOn(monitors.front(), {form1.width(), form1.height()});
    form1.move(at.x, at.y);
  }
  form1.LoadControls(settings.Get(), store->FallbackFolder());

  try {
    server.Start();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, "Fernpad Server", QString("The server cannot start: ") + e.what());
    return 1;
  }
  form1.SetCountryAndLayout(server.CountryCode(), QString::fromStdString(server.KeyboardLayoutName()));
  log::Verbose("Fernpad Server is running (HTTP port ", server.HttpPort(), ").");
  if (form1.TrayAvailable())
    form1.TrayIcon()->showMessage("Fernpad Server is active.", "Fernpad Server is active.",
                                  QSystemTrayIcon::Information);
  form1.show();

  const int code = app.exec();
  ui.BeginShutdown();
  server.Stop();
  return code;
}

}  // namespace fernpad::app
