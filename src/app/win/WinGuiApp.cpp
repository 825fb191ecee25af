// RunGui of the Windows build: the tray front end (app/gui holds the Qt one of the other platforms).
#include <windows.h>

#include <exception>

#include "app/FrontEnd.h"
#include "app/Startup.h"
#include "app/Texts.h"
#include "app/UpdateCheck.h"
#include "app/WebRemoteGroup.h"
#include "app/win/MainForm.h"
#include "app/win/SmallForms.h"
#include "app/win/TrayWindow.h"
#include "app/win/WinUi.h"
#include "app/win/WinUpdaterUi.h"
#include "core/Log.h"
#include "platform/OsPlatform.h"
#include "server/Server.h"

namespace fernpad::app {
namespace {

void ShowStartError(const std::string& what) {
  ::MessageBoxW(nullptr, Widen("The server cannot start: " + what).c_str(), Widen(kMainWindowTitle).c_str(),
                MB_OK | MB_ICONERROR);
}

// Windows are laid out for the DPI of the monitor they are on (Windows 10 1703 and later; earlier ones
// scale the program's windows as pictures). Also keeps the cursor and the screen pictures in real pixels.
void BeDpiAware() {
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  const auto set = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
  if (set != nullptr) set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));  // per monitor, version 2
}

}  // namespace

int RunGui(int, char**, const CommandLine& cl) {
  // The program is a console program, so that --headless prints and stops on Ctrl+C like on Linux. Started
  // from Explorer or the Run key, Windows gave it a console window of its own: the tray program lets it go
  // (a console it shares with the shell that started it stays).
  DWORD consoleProcesses[2];
  if (::GetConsoleProcessList(consoleProcesses, 2) == 1) ::FreeConsole();
  BeDpiAware();
  try {
    const auto platform = MakeOsPlatform();
    WinUi ui;
    settings::LiveSettings settings;
    const auto store = LoadSettings(cl, settings);
    ServerOptions options = ServerOptionsFrom(cl);
    ApplyWebRemoteSettings(*store, options);
    Server server(*platform, ui, settings, options);
    SaveSettingsOnChange(settings, *store, server);
    AllowHosts(cl, settings);
    try {
      server.Start();
    } catch (const std::exception& e) {
      ShowStartError(e.what());
      return 1;
    }
    log::Verbose("Fernpad Server is running (HTTP port ", server.HttpPort(), ").");
    KeepWebRemoteAddress(*store, server);
    WebRemoteGroup webRemote(server, *platform, *store);
    int code = 0;
    {
      TrayWindow tray(settings, [&platform] { return GetLocalAddresses(*platform); });
      TForm1& form1 = tray.Form();
      form1.LoadControls(settings.Get(), store->FallbackFolder());
      form1.AttachDevices(&server.Devices());
      form1.SetCountryAndLayout(server.CountryCode(), server.KeyboardLayoutName());
      form1.AttachWebRemote(&webRemote);
      ui.AttachWindows(tray.Window(), form1.Window());
      WinUpdateCheck updates(form1);
      // A request under way when the program closes ends at once rather than at its time-out.
      updates.UpdaterConfigSource = [&updates, url = cl.updateUrl, country = server.CountryCode()] {
        return StoppableConfig(url, country, [&updates] { return updates.ShuttingDown(); });
      };
      updates.Ui().EndProgram = [window = tray.Window()] {
        ::PostMessageW(window, WM_COMMAND, TrayWindow::kQuitCommand, 0);
      };
      if (settings.Get().CheckUpdatesOnStartup) updates.StartUpdateTimer();
      // The other windows, made after the main window.
      TPointerForm pointerForm(settings);
      TImageForm imageForm(form1.Window());
      TForm4 form4(form1.Window());
      form1.PointerColorChanged = [&pointerForm](COLORREF color) { pointerForm.SetFill(color); };
      ui.AttachForms(pointerForm.Window(), imageForm.Window(), form4.Window());
      // Without a notification area nothing else could bring the window back (the icon is added later
      // if the shell starts after all).
      if (!tray.IconShown()) ::PostMessageW(tray.Window(), WM_COMMAND, TrayWindow::kShowCommand, 0);
      code = RunMessageLoop();  // until "Quit" or the main window is closed
      updates.EndUpdateCheck();
      ui.AttachWindows(nullptr, nullptr);
      ui.AttachForms(nullptr, nullptr, nullptr);
    }
    // Every change of a setting was saved when it was made; a question still open counts as unanswered.
    ui.BeginShutdown();
    server.Stop();
    return code;
  } catch (const std::exception& e) {
    ShowStartError(e.what());
    return 1;
  }
}

}  // namespace fernpad::app
