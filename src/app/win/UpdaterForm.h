#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

namespace fernpad::app {

// The update's progress window of the Windows front end: a fixed-size window captioned "Update" with the
// "Software-Update" band on top, a blue panel down the left and the download's page with its progress bar,
// percentage and Cancel button. Not modal and owned by no window: the program's other windows stay usable
// while the installer comes in. Lives on the GUI thread; other threads reach it by posting its messages.
class TUpdaterForm {
 public:
  enum Id : int { kImage1 = 100, kLabel1, kLabel4, kProgressBar1, kLabel5, kCancelButton };
  // Posted to Window(): Open; OnProgressPosted; hide.
  static constexpr UINT kOpenMessage = WM_APP + 40;
  static constexpr UINT kProgressMessage = WM_APP + 41;
  static constexpr UINT kHideMessage = WM_APP + 42;

  // Made hidden. Throws std::runtime_error when the window cannot be made.
  TUpdaterForm();
  ~TUpdaterForm();
  TUpdaterForm(const TUpdaterForm&) = delete;
  TUpdaterForm& operator=(const TUpdaterForm&) = delete;

  HWND Window() const { return window_; }
  HWND Control(Id id) const { return ::GetDlgItem(window_, id); }
  // Back to the start of a download (nothing received), shown centred on the primary monitor, in front.
  void Open();
  void Hide() { ::ShowWindow(window_, SW_HIDE); }
  // received of total bytes; total -1 when the server gave no size.
  void SetProgress(std::int64_t received, std::int64_t total);
  // Label5's text for received of total bytes: the share in per cent with one decimal and the given
  // decimal separator ("42.5 %"), or the amount received when the total is unknown ("3.2 MB").
  static std::wstring ProgressText(std::int64_t received, std::int64_t total, wchar_t decimalSeparator);

  // Cancel was pressed, or the window closed by the user (its close box): the window hides itself first.
  std::function<void()> OnCancel;
  // kProgressMessage arrived.
  std::function<void()> OnProgressPosted;

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);
  void Cancel();
  void Paint();
  int Scale(int pixels) const { return ::MulDiv(pixels, static_cast<int>(dpi_), 96); }

  HWND window_ = nullptr;
  UINT dpi_ = 96;
  HFONT font_ = nullptr;
  HFONT titleFont_ = nullptr;
  HICON picture_ = nullptr;
  HBRUSH white_ = nullptr;
};

}  // namespace fernpad::app
