#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/WebRemoteGroup.h"
#include "settings/LiveSettings.h"

namespace fernpad::upload {
class UploadDevices;
}

namespace fernpad::app {

// The main window of the Windows front end: the heading, the address line, the four settings pages and the
// update row. Made hidden at start (the tray's "Show" brings it up, centred on the first monitor);
// minimising hides it, closing it runs OnClose. Every change goes through the live settings, which save it.
// Lives on the GUI thread.
class TForm1 {
 public:
  // The controls' ids (GetDlgItem finds them).
  enum Id : int {
    kLabel7 = 100,
    kSpinEdit1,
    kButton1,
    kPageControl1,
    kScrollBar1,
    kShape1,
    kCheckBox1,
    kCheckBox2,
    kCheckBox3,
    kCheckBox4,
    kCheckBox5,
    kListBox1,
    kListBox2,
    kButton2,
    kButton3,
    kButton4,
    kButton5,
    kButton6,
    kLabel10,
    kLabel19,
    kLabel21,
    kEdit1,
    kButton7,
    kComboBox1,
    kButton8,
    kFernpadLink,
    kSnapferryLink,
    kWebRemote,     // "Browser remote"
    kKeepAddress,   // "Keep this address"
    kWebAddresses,  // where a phone opens the browser remote (read-only, copyable)
    kWebError,      // why the browser remote is not on, or its setting not saved
    kOther,         // headings and captions
  };
  static constexpr int kPageCount = 4;
  // Posted to the window: refill the host lists / the upload page; show wParam as the last virtual key.
  static constexpr UINT kHostListsChanged = WM_APP + 20;
  static constexpr UINT kDevicesChanged = WM_APP + 21;
  static constexpr UINT kVirtualKey = WM_APP + 22;

  // addresses: the host's addresses as GetLocalAddresses gives them, read whenever the window becomes
  // active. Throws std::runtime_error when the window cannot be made.
  TForm1(settings::LiveSettings& settings, std::function<std::string()> addresses);
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // Null once the window was destroyed.
  HWND Window() const { return window_; }
  HWND Control(Id id) const { return window_ != nullptr ? ::GetDlgItem(window_, id) : nullptr; }
  // True for the main window of any TForm1 (the message loop's key preview and dialog keys).
  static bool IsMainWindow(HWND window);

  // Fills the controls from the settings without saving; the folder box shows fallbackFolder when the
  // stored folder is shorter than 3 characters.
  void LoadControls(const settings::Options& options, const std::string& fallbackFolder);
  // From now on the upload page shows and changes these devices and destination folder.
  void AttachDevices(upload::UploadDevices* devices);
  void RefreshDevices();
  void RefreshHostLists();
  void SetCountryAndLayout(int countryCode, const std::string& layoutName);
  void SetLastVirtualKey(int code);
  // From now on the "Browser remote" group shows and switches this browser remote.
  void AttachWebRemote(WebRemoteGroup* group);
  // The browser remote's boxes, addresses and error line as the state says.
  void ShowWebRemote(const WebRemoteGroup::State& state);
  // Shows the page (0 "General settings" to 3 "Image Upload (Snapferry WiFi)").
  void ShowPage(int page);
  // The tray's "Show": centre on the first monitor, show and bring to the front.
  void TrayIcon1Click();
  // Stay-on-top (as made) or a normal window, also when the tray shows it later.
  void SetStayOnTop(bool onTop);

  // Closing the window (the close box); the owner ends the program. Without it the window destroys itself
  // and ends the message loop.
  std::function<void()> OnClose;
  // The system's folder picker of "...": the folder to start from (ANSI bytes), the chosen one or empty.
  std::function<std::string(const std::string& start)> PickFolder;
  // A new pointer colour was picked (the shown presenter dot takes it at once).
  std::function<void(COLORREF)> PointerColorChanged;
  // The system's colour dialog (full open): the chosen colour, or nothing when cancelled.
  std::function<std::optional<COLORREF>(COLORREF current)> PickColor;
  // "Check for online updates now"; without it the button does nothing.
  std::function<void()> OnButton6Click;

 private:
  struct ControlPlan;
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT Handle(UINT message, WPARAM w, LPARAM l);
  void CreateControls();
  void Layout();
  void MakeFonts();
  int Scale(int pixels) const { return ::MulDiv(pixels, dpi_, 96); }
  void Command(int id, int code);
  void ScrollBar1Scroll(int request);
  void SettingsChanged();
  bool Checked(Id id) const;
  void SetChecked(Id id, bool checked);
  void FillHostList(Id id, const std::vector<std::string>& hosts);
  void DeleteSelectedIn(Id list);
  void FillDevicePage(const std::vector<settings::TSnapferryDevice>& devices, int selected,
                      const std::string& folder);
  void Button7Click();
  void Shape1Click();
  void DrawShape1(const DRAWITEMSTRUCT& item) const;
  void RefreshAddressLine();
  void WebRemoteClick();
  void KeepAddressClick();
  // The background the tab control gives its pages.
  COLORREF PageColour() const;

  settings::LiveSettings& settings_;
  std::function<std::string()> addresses_;
  upload::UploadDevices* devices_ = nullptr;
  WebRemoteGroup* webRemote_ = nullptr;
  HWND window_ = nullptr;
  UINT dpi_ = 96;
  HFONT font_ = nullptr;
  HFONT headingFont_ = nullptr;
  HBRUSH pageBrush_ = nullptr;  // PageColour(), made when first needed
  bool loading_ = false;
  COLORREF pointerColor_ = RGB(255, 255, 255);
  bool stayOnTop_ = true;
  struct Placed {
    HWND control;
    RECT at;  // left, top, width, height at 96 DPI
  };
  std::vector<Placed> placed_;
  HWND heading_ = nullptr;
  std::vector<std::pair<HWND, int>> pageOf_;  // each page control and its page
};

}  // namespace fernpad::app
