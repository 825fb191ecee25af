#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Bitmap24.h"
#include "core/Geometry.h"
#include "settings/LiveSettings.h"

// The small windows of the Windows front end beside the main window: the presenter dot, the full-screen
// image window, the photo preview and the new-device dialog. The first three live on the GUI thread; other
// threads reach them by posting the messages below (WinUi does).
namespace fernpad::app {

// Reads a picture file for the photo windows: a JPEG ("jpg" or "jpeg", any letter case), shown as it is
// stored. Null when the file cannot be read or decoded, or has more than kMaxShownPixels.
inline constexpr std::uint64_t kMaxShownPixels = std::uint64_t{1} << 26;
std::unique_ptr<Bitmap24> ReadPicture(const std::string& path);

// A picture control: the picture scaled up or down to the largest size that fits with its aspect kept,
// centred on black. The scaled copy is kept until the picture or the size changes.
class FittedPicture {
 public:
  FittedPicture() = default;
  ~FittedPicture();
  FittedPicture(const FittedPicture&) = delete;
  FittedPicture& operator=(const FittedPicture&) = delete;

  void SetPicture(std::unique_ptr<Bitmap24> picture);
  bool HasPicture() const { return picture_ != nullptr; }
  // Paints the whole box (black, the picture on it).
  void Paint(HDC dc, const RECT& box);

 private:
  std::unique_ptr<Bitmap24> picture_;
  HBITMAP scaled_ = nullptr;
  Size scaledSize_;
};

// The presenter dot: a borderless, always-on-top, round 16 x 16 window in the pointer colour that never
// takes the focus and lets clicks through to the windows below.
class TPointerForm {
 public:
  // Posted to Window(): show the dot with its top-left corner at (wParam, lParam), both ints, taking the
  // pointer colour from the settings when it was hidden; or hide it.
  static constexpr UINT kShowAt = WM_APP + 40;
  static constexpr UINT kHide = WM_APP + 41;

  // Throws std::runtime_error when the window cannot be made.
  explicit TPointerForm(const settings::LiveSettings& settings);
  ~TPointerForm();
  TPointerForm(const TPointerForm&) = delete;
  TPointerForm& operator=(const TPointerForm&) = delete;

  HWND Window() const { return window_; }
  void ShowAt(Point topLeft);
  void Hide();
  // The circle's colour (0x00BBGGRR); changed at once when the dot is shown.
  void SetFill(COLORREF color);
  COLORREF Fill() const { return fill_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  void Paint();

  const settings::LiveSettings& settings_;
  HWND window_ = nullptr;
  COLORREF fill_ = RGB(255, 0, 0);
};

// The full-screen image window: borderless, black, always on top; no area until a picture is shown.
// Escape closes it too: a handheld that went away cannot leave it covering the screen.
class TImageForm {
 public:
  // Posted to Window(): show on the main window's monitor with the picture of lParam (a Bitmap24 released
  // from a unique_ptr, taken over by the window; null keeps the picture shown before); or close.
  static constexpr UINT kShowImage = WM_APP + 42;
  static constexpr UINT kCloseImage = WM_APP + 43;

  // mainWindow: whose monitor the picture covers. Throws std::runtime_error when the window cannot be made.
  explicit TImageForm(HWND mainWindow);
  ~TImageForm();
  TImageForm(const TImageForm&) = delete;
  TImageForm& operator=(const TImageForm&) = delete;

  HWND Window() const { return window_; }
  // Covers the monitor and shows the picture; null keeps the one shown before.
  void ShowOn(const Rect& monitor, std::unique_ptr<Bitmap24> picture);
  // Closes the window and takes its area away.
  void CloseImage();

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);

  HWND mainWindow_;
  HWND window_ = nullptr;
  FittedPicture Image1;
};

// The photo preview: a small tool window captioned "Preview", always on top, client area 105 x 105, in the
// bottom-right corner of the main window's monitor; it shows the last stored photo and closes when Timer1
// runs out, 10 s after the last photo that could be shown.
class TForm4 {
 public:
  // Posted to Window(): show the picture of lParam, as TImageForm::kShowImage.
  static constexpr UINT kShowPreview = WM_APP + 44;
  static constexpr UINT_PTR kTimer1 = 1;

  // timer1Interval: ms from the last photo to the closing. Throws std::runtime_error when the window cannot
  // be made.
  explicit TForm4(HWND mainWindow, UINT timer1Interval = 10000);
  ~TForm4();
  TForm4(const TForm4&) = delete;
  TForm4& operator=(const TForm4&) = delete;

  HWND Window() const { return window_; }
  // Puts the window's frame in the monitor's bottom-right corner and shows it without taking the focus,
  // with the picture unless it is null (the one before stays, and the timer is not restarted).
  void ShowPreview(const Rect& monitor, std::unique_ptr<Bitmap24> picture);

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);

  HWND mainWindow_;
  UINT timer1Interval_;
  HWND window_ = nullptr;
  FittedPicture Image1;
};

// The new-device dialog, captioned "New device detected": where the photos of a device seen for the first
// time go, chosen in a drive box and a directory list. It opens on the folder chosen last, at first on the
// folder it is given. The dialog window is made on the thread that asks and closed before Ask returns;
// one Ask at a time.
class TForm5 {
 public:
  enum Id : int { kLabel4 = 200, kLabel6, kDriveComboBox1, kDirectoryListBox1 };

  // Shows the dialog for the device (its name as UTF-8), modal on the calling thread, in the top-left
  // corner of the screen, and returns the button that closed it: IDOK for "OK", IDCANCEL for the close box
  // (or for a WM_COMMAND IDCANCEL sent to it), 0 when it could not be shown. firstFolder (ANSI bytes) is
  // where the first use starts.
  int Ask(const std::string& deviceName, const std::string& firstFolder);
  // The folder selected when the dialog closed last (ANSI bytes, no backslash added).
  std::string ChosenFolder() const;

 private:
  static INT_PTR CALLBACK Procedure(HWND dialog, UINT message, WPARAM w, LPARAM l);
  void Create(HWND dialog);
  void SelectFolder(const std::wstring& folder);
  void ListFolder();

  HWND dialog_ = nullptr;
  HFONT font_ = nullptr;
  HFONT titleFont_ = nullptr;
  std::wstring deviceName_;
  std::wstring chosen_;             // empty before the first use
  std::wstring listed_;             // the folder whose subfolders the list shows
  std::vector<std::wstring> rows_;  // the folder of each row of the list
};

}  // namespace fernpad::app
