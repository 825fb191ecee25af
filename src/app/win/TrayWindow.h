#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace fernpad::app {

// The notification-area icon of the Windows front end with its menu ("Show", "Quit"), the hidden window
// that receives the icon's messages, and the main window. For now the main window is a plain one showing
// the address line; the settings pages come with the full settings window in a later step. Minimising the
// main window hides it; closing it ends the program like "Quit". Lives on the GUI thread.
class TrayWindow {
 public:
  // The menu commands, as WM_COMMAND sends them to Window().
  static constexpr UINT kShowCommand = 1001;
  static constexpr UINT kQuitCommand = 1002;
  // The message the icon sends to Window().
  static constexpr UINT kTrayMessage = WM_APP + 1;
  // The icon's number among the icons of Window().
  static constexpr UINT kIconId = 1;

  // addresses: the host's addresses as GetLocalAddresses gives them, read whenever the address line is
  // shown. Throws std::runtime_error when the hidden window cannot be made.
  explicit TrayWindow(std::function<std::string()> addresses);
  ~TrayWindow();
  TrayWindow(const TrayWindow&) = delete;
  TrayWindow& operator=(const TrayWindow&) = delete;

  // The hidden top-level window (top-level, not message-only, so the shell's "TaskbarCreated" broadcast
  // reaches it).
  HWND Window() const { return window_; }
  // The main window; null until "Show" first made it.
  HWND MainWindow() const { return mainWindow_; }
  // True while the shell has the icon.
  bool IconShown() const { return iconShown_; }
  // The icon's tooltip: the address line, cut to what the shell holds.
  const std::wstring& Tooltip() const { return tooltip_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(HWND window, UINT message, WPARAM w, LPARAM l);
  // Adds the icon (again, after the shell restarted), with the start-up balloon the first time.
  void AddIcon(bool balloon);
  void RefreshAddressLine();
  void ShowMenu();
  void ShowMainWindow();
  void Quit();

  std::function<std::string()> addresses_;
  UINT taskbarCreated_ = 0;
  HICON icon_ = nullptr;
  HWND window_ = nullptr;
  HWND mainWindow_ = nullptr;
  HWND addressLabel_ = nullptr;
  bool iconShown_ = false;
  bool ending_ = false;  // the destructor runs
  std::wstring tooltip_;
};

// Runs the GUI thread's message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

}  // namespace fernpad::app
