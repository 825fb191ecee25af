#include "app/win/UpdaterForm.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <stdexcept>

#include "app/Placement.h"
#include "app/win/ProgramIcon.h"
#include "app/win/WindowSupport.h"

namespace fernpad::app {
namespace {

constexpr wchar_t kFormClass[] = L"FernpadUpdaterForm";
constexpr int kWidth = 480, kHeight = 290, kBandHeight = 66, kPanelWidth = 110;
// The side panel's colour as a Windows colour reference (0x00BBGGRR): a medium blue.
constexpr COLORREF kPanelColor = 0x00C08000;

std::wstring OneDecimal(double value, wchar_t decimalSeparator) {
  char text[64] = {};
  std::snprintf(text, sizeof text, "%.1f", value);
  std::wstring wide(text, text + std::char_traits<char>::length(text));
  std::replace(wide.begin(), wide.end(), L'.', decimalSeparator);
  return wide;
}

wchar_t UserDecimalSeparator() {
  wchar_t separator[8] = {};
  return ::GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) > 1 ? separator[0] : L'.';
}

}  // namespace

TUpdaterForm::TUpdaterForm() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  RegisterClassOnce(kFormClass, Procedure);

  window_ = ::CreateWindowExW(WS_EX_DLGMODALFRAME, kFormClass, L"Update",
                              WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, 0, 0, kWidth,
                              kHeight, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) throw std::runtime_error("the update's progress window cannot be made");
  dpi_ = DpiOf(window_);
  RECT frame{0, 0, Scale(kWidth), Scale(kHeight)};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_EXSTYLE)));
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  LOGFONTW face{};
  if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(face), &face);
  else
    face = metrics.lfMessageFont;
  font_ = ::CreateFontIndirectW(&face);
  titleFont_ =
      ::CreateFontW(-Scale(27), 0, 0, 0, FW_BLACK, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, VARIABLE_PITCH | FF_SWISS, L"Arial Black");
  picture_ = MakeProgramIcon();
  white_ = ::CreateSolidBrush(RGB(255, 255, 255));

  struct Plan {
    Id id;
    const wchar_t* windowClass;
    const wchar_t* caption;
    DWORD style;
    int x, y, width, height;
  };
  // The picture first: the title across the whole band leaves it alone (WS_CLIPSIBLINGS).
  const Plan plans[] = {
      {kImage1, L"STATIC", L"", SS_ICON | SS_CENTERIMAGE, 12, (kBandHeight - 40) / 2, 40, 40},
      {kLabel1, L"STATIC", L"        Software-Update",
       SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX | WS_CLIPSIBLINGS, 0, 0, kWidth, kBandHeight},
      {kLabel4, L"STATIC", L"Das Update wird geladen. Bitte warten.", SS_LEFT | SS_NOPREFIX, kPanelWidth + 20,
       kBandHeight + 24, kWidth - kPanelWidth - 40, 18},
      {kProgressBar1, PROGRESS_CLASSW, L"", PBS_SMOOTH, kPanelWidth + 20, kBandHeight + 56,
       kWidth - kPanelWidth - 40, 20},
      {kLabel5, L"STATIC", L"0 %", SS_RIGHT | SS_NOPREFIX, kPanelWidth + 20, kBandHeight + 82,
       kWidth - kPanelWidth - 40, 18},
      {kCancelButton, L"BUTTON", L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, kWidth - 110, kHeight - 40, 90, 26},
  };
  for (const Plan& plan : plans) {
    const HWND control = ::CreateWindowExW(
        0, plan.windowClass, plan.caption, WS_CHILD | WS_VISIBLE | plan.style, Scale(plan.x), Scale(plan.y),
        Scale(plan.width), Scale(plan.height), window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(plan.id)), ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(plan.id == kLabel1 ? titleFont_ : font_),
                   FALSE);
  }
  ::SendMessageW(Control(kImage1), STM_SETICON, reinterpret_cast<WPARAM>(picture_), 0);
}

TUpdaterForm::~TUpdaterForm() {
  if (window_ != nullptr) ::DestroyWindow(window_);
  for (HGDIOBJ object :
       {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(titleFont_), static_cast<HGDIOBJ>(white_)})
    if (object != nullptr) ::DeleteObject(object);
  if (picture_ != nullptr) ::DestroyIcon(picture_);
}

void TUpdaterForm::Open() {
  const HWND bar = Control(kProgressBar1);
  ::SendMessageW(bar, PBM_SETMARQUEE, FALSE, 0);
  ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) & ~LONG_PTR{PBS_MARQUEE});
  ::SendMessageW(bar, PBM_SETRANGE32, 0, 100);
  ::SendMessageW(bar, PBM_SETPOS, 0, 0);
  ::SetWindowTextW(Control(kLabel5), L"0 %");

  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT frame{};
  ::GetWindowRect(window_, &frame);
  const RECT& m = monitor.rcMonitor;
  const Point at = CenteredOn({m.left, m.top, m.right - m.left, m.bottom - m.top},
                              {frame.right - frame.left, frame.bottom - frame.top});
  ::SetWindowPos(window_, HWND_TOP, at.x, at.y, 0, 0, SWP_NOSIZE);
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::SetForegroundWindow(window_);
  ::UpdateWindow(window_);
}

void TUpdaterForm::SetProgress(std::int64_t received, std::int64_t total) {
  ::SetWindowTextW(Control(kLabel5), ProgressText(received, total, UserDecimalSeparator()).c_str());
  const HWND bar = Control(kProgressBar1);
  if (total <= 0) {
    // No size: the bar only shows that something is happening.
    ::SetWindowLongPtrW(bar, GWL_STYLE, ::GetWindowLongPtrW(bar, GWL_STYLE) | PBS_MARQUEE);
    ::SendMessageW(bar, PBM_SETMARQUEE, TRUE, 0);
  } else {
    // The bar counts in int: a total beyond its range is counted in larger units.
    int shift = 0;
    while ((total >> shift) > INT_MAX) ++shift;
    ::SendMessageW(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total >> shift));
    ::SendMessageW(bar, PBM_SETPOS,
                   static_cast<WPARAM>(std::clamp<std::int64_t>(received, 0, total) >> shift), 0);
  }
  ::UpdateWindow(window_);
}

std::wstring TUpdaterForm::ProgressText(std::int64_t received, std::int64_t total, wchar_t decimalSeparator) {
  if (total > 0)
    return OneDecimal(static_cast<double>(std::clamp<std::int64_t>(received, 0, total)) * 100.0 /
                          static_cast<double>(total),
                      decimalSeparator) +
           L" %";
  if (received < 1000) return std::to_wstring(std::max<std::int64_t>(received, 0)) + L" bytes";
  static const wchar_t* const kUnits[] = {L"kB", L"MB", L"GB", L"TB", L"PB", L"EB"};
  double amount = static_cast<double>(received) / 1000;
  std::size_t unit = 0;
  while (amount >= 1000 && unit + 1 < std::size(kUnits)) {
    amount /= 1000;
    ++unit;
  }
  return OneDecimal(amount, decimalSeparator) + L" " + kUnits[unit];
}

void TUpdaterForm::Cancel() {
  Hide();
  if (OnCancel) OnCancel();
}

void TUpdaterForm::Paint() {
  PAINTSTRUCT paint;
  const HDC dc = ::BeginPaint(window_, &paint);
  RECT client{};
  ::GetClientRect(window_, &client);
  const RECT band{0, 0, client.right, Scale(kBandHeight)};
  ::FillRect(dc, &band, white_);
  const HBRUSH blue = ::CreateSolidBrush(kPanelColor);
  const RECT panel{0, Scale(kBandHeight), Scale(kPanelWidth), client.bottom};
  ::FillRect(dc, &panel, blue);
  ::DeleteObject(blue);
  ::EndPaint(window_, &paint);
}

LRESULT CALLBACK TUpdaterForm::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = Owner<TUpdaterForm>(window, message, l);
  if (self == nullptr || self->window_ == nullptr) return ::DefWindowProcW(window, message, w, l);
  return self->Handle(message, w, l);
}

LRESULT TUpdaterForm::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_CTLCOLORSTATIC: {
      // The band's title and picture on white.
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(l));
      if (id == kLabel1 || id == kImage1) {
        ::SetTextColor(reinterpret_cast<HDC>(w), RGB(0, 0, 0));
        ::SetBkColor(reinterpret_cast<HDC>(w), RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(white_);
      }
      break;
    }
    case WM_COMMAND:
      if (LOWORD(w) == kCancelButton && HIWORD(w) == BN_CLICKED) Cancel();
      return 0;
    case WM_CLOSE:
      Cancel();  // the window stays for the next download
      return 0;
    case kOpenMessage:
      Open();
      return 0;
    case kProgressMessage:
      if (OnProgressPosted) OnProgressPosted();
      return 0;
    case kHideMessage:
      Hide();
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, w, l);
}

}  // namespace fernpad::app
