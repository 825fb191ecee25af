#include "app/win/TrayWindow.h"

#include <shellapi.h>

#include <string>

#include <gtest/gtest.h>

namespace fernpad::app {
namespace {

settings::LiveSettings settings;  // what the main windows show

std::wstring TextOf(HWND window) {
  wchar_t text[512] = {};
  ::GetWindowTextW(window, text, 512);
  return text;
}

// Runs the message loop; 77 when it was still running after 10 s.
int RunLoopBounded() {
  const UINT_PTR timer =
      ::SetTimer(nullptr, 0, 10000, [](HWND, UINT, UINT_PTR, DWORD) { ::PostQuitMessage(77); });
  const int code = RunMessageLoop();
  ::KillTimer(nullptr, timer);
  return code;
}

// True when the shell has the tray's icon (only an icon it has can be changed).
bool ShellHasIcon(const TrayWindow& tray) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = tray.Window();
  data.uID = TrayWindow::kIconId;
  data.uFlags = NIF_TIP;
  return ::Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

TEST(TrayWindow, IconTooltipIsTheAddressLineCutToWhatTheShellHolds) {
  struct Case {
    std::string addresses;
    std::wstring tooltip;
  };
  const std::string many =
      "192.168.100.101\r192.168.100.102\r192.168.100.103\r192.168.100.104\r"
      "192.168.100.105\r192.168.100.106\r192.168.100.107";
  const Case cases[] = {
      {"10.0.0.5\r10.0.0.6", L"The server IP(s) is/are: 10.0.0.5\r10.0.0.6"},
      {"", L"The server IP(s) is/are: "},  // the host name did not resolve
      {many, (L"The server IP(s) is/are: " + std::wstring(many.begin(), many.end())).substr(0, 127)},
  };
  for (const Case& c : cases) {
    TrayWindow tray(settings, [&] { return c.addresses; });
    EXPECT_TRUE(::IsWindow(tray.Window()));
    EXPECT_FALSE(::IsWindowVisible(tray.Window()));
    EXPECT_TRUE(tray.IconShown());
    EXPECT_TRUE(ShellHasIcon(tray));
    EXPECT_EQ(tray.Tooltip(), c.tooltip);
  }
}

TEST(TrayWindow, IconComesBackWhenTheShellRestarts) {
  TrayWindow tray(settings, [] { return std::string("10.0.0.5"); });
  EXPECT_TRUE(ShellHasIcon(tray));
  NOTIFYICONDATAW data{};  // a restarting shell forgets every icon
  data.cbSize = sizeof(data);
  data.hWnd = tray.Window();
  data.uID = TrayWindow::kIconId;
  ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &data));
  ASSERT_FALSE(ShellHasIcon(tray));

  ::SendMessageW(tray.Window(), ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(ShellHasIcon(tray));
  EXPECT_TRUE(tray.IconShown());
}

TEST(TrayWindow, ShowOpensTheMainWindowWithTheAddressLine) {
  TrayWindow tray(settings, [] { return std::string("10.0.0.5"); });
  ::SendMessageW(tray.Window(), WM_COMMAND, TrayWindow::kShowCommand, 0);
  HWND main = tray.MainWindow();
  ASSERT_NE(main, nullptr);
  EXPECT_TRUE(::IsWindowVisible(main));
  EXPECT_EQ(TextOf(main), L"Fernpad Server");
  EXPECT_EQ(TextOf(::GetDlgItem(main, TForm1::kLabel7)), L"The server IP(s) is/are: 10.0.0.5");

  ::SendMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);  // hides it; the server goes on
  EXPECT_FALSE(::IsWindowVisible(main));
  EXPECT_TRUE(::IsWindow(tray.Window()));
}

TEST(TrayWindow, QuitAndClosingTheMainWindowEndTheMessageLoop) {
  struct Case {
    const char* how;
    bool viaMainWindow;
  };
  for (const Case c : {Case{"Quit", false}, Case{"close box", true}}) {
    TrayWindow tray(settings, [] { return std::string("10.0.0.5"); });
    if (c.viaMainWindow) {
      ::SendMessageW(tray.Window(), WM_COMMAND, TrayWindow::kShowCommand, 0);
      ::PostMessageW(tray.MainWindow(), WM_CLOSE, 0, 0);
    } else {
      ::PostMessageW(tray.Window(), WM_COMMAND, TrayWindow::kQuitCommand, 0);
    }
    EXPECT_EQ(RunLoopBounded(), 0) << c.how;
    EXPECT_EQ(tray.Window(), nullptr) << c.how;
    EXPECT_FALSE(tray.IconShown()) << c.how;  // taken out of the notification area
  }
}

}  // namespace
}  // namespace fernpad::app
