#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/win/MainForm.h"

namespace fernpad::app {

// The notification-area icon of the Windows front end with its menu ("Show", "Quit"), the hidden window
// that receives the icon's messages, and the main window `TForm1` (made hidden at start). Minimising the
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
  // shown; settings: what the main window shows and changes. Throws std::runtime_error when a window
  // cannot be made.
  TrayWindow(settings::LiveSettings& settings, std::function<std::string()> addresses);
  ~TrayWindow();
  TrayWindow(const TrayWindow&) = delete;
  TrayWindow& operator=(const TrayWindow&) = delete;

  // The hidden top-level window (top-level, not message-only, so the shell's "TaskbarCreated" broadcast
  // reaches it).
  HWND Window() const { return window_; }
  // The main window; null once closed.
  HWND MainWindow() const { return form_->Window(); }
  TForm1& Form() { return *form_; }
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
  std::unique_ptr<TForm1> form_;
  bool iconShown_ = false;
  bool ending_ = false;  // the destructor runs
  std::wstring tooltip_;
};

// Runs the GUI thread's message loop until WM_QUIT; returns its exit code.
int RunMessageLoop();

}  // namespace fernpad::app
