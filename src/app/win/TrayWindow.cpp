#include "app/win/TrayWindow.h"

#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "app/Placement.h"
#include "app/Texts.h"
#include "app/win/WinUi.h"

namespace fernpad::app {
namespace {

constexpr wchar_t kHiddenClass[] = L"FernpadTrayWindow";
constexpr wchar_t kMainClass[] = L"FernpadMainWindow";
constexpr int kClientWidth = 643, kClientHeight = 371;

// The program's picture, as the Qt front end draws it: a green disc with a white handheld upright on it.
HICON MakeProgramIcon() {
  constexpr int size = 32;
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof(header);
  header.bV5Width = size;
  header.bV5Height = -size;  // top-down
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  const HDC screen = ::GetDC(nullptr);
  const HBITMAP colour =
      ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0);
  ::ReleaseDC(nullptr, screen);
  if (colour == nullptr) return ::LoadIconA(nullptr, IDI_APPLICATION);
  auto* pixels = static_cast<std::uint32_t*>(bits);
  const double centre = (size - 1) / 2.0;
  for (int y = 0; y < size; ++y)
    for (int x = 0; x < size; ++x) {
      std::uint32_t argb = 0;
      if (std::hypot(x - centre, y - centre) <= size / 2.0 - 0.5) argb = 0xFF3C8C5A;
      if (x >= size * 0.33 && x < size * 0.67 && y >= size * 0.2 && y < size * 0.8) argb = 0xFFFFFFFF;
      pixels[y * size + x] = argb;
    }
  const HBITMAP mask = ::CreateBitmap(size, size, 1, 1, nullptr);
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colour;
  info.hbmMask = mask;
  HICON icon = ::CreateIconIndirect(&info);
  ::DeleteObject(colour);
  ::DeleteObject(mask);
  return icon != nullptr ? icon : ::LoadIconA(nullptr, IDI_APPLICATION);
}

// Copies text into a fixed buffer of the shell's, cut to fit, always terminated.
template <std::size_t N>
void CopyInto(wchar_t (&buffer)[N], const std::wstring& text) {
  const std::size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.begin(), n, buffer);
  buffer[n] = L'\0';
}

void RegisterClassOnce(const wchar_t* name, WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = name;
  ::RegisterClassExW(&windowClass);  // fails harmlessly when registered already
}

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT r, LPARAM list) {
  reinterpret_cast<std::vector<Rect>*>(list)->push_back(
      {r->left, r->top, r->right - r->left, r->bottom - r->top});
  return TRUE;
}

}  // namespace

TrayWindow::TrayWindow(std::function<std::string()> addresses) : addresses_(std::move(addresses)) {
  RegisterClassOnce(kHiddenClass, Procedure);
  RegisterClassOnce(kMainClass, Procedure);
  taskbarCreated_ = ::RegisterWindowMessageW(L"TaskbarCreated");
  icon_ = MakeProgramIcon();
  window_ = ::CreateWindowExW(0, kHiddenClass, Widen(kMainWindowTitle).c_str(), WS_OVERLAPPED, 0, 0, 0, 0,
                              nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) {
    ::DestroyIcon(icon_);
    throw std::runtime_error("the tray window cannot be made");
  }
  RefreshAddressLine();
  AddIcon(true);
}

TrayWindow::~TrayWindow() {
  ending_ = true;  // no quit message left behind for a later loop
  if (mainWindow_ != nullptr) ::DestroyWindow(mainWindow_);
  if (window_ != nullptr) ::DestroyWindow(window_);
  ::DestroyIcon(icon_);
}

void TrayWindow::AddIcon(bool balloon) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = window_;
  data.uID = kIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = icon_;
  CopyInto(data.szTip, tooltip_);
  if (balloon) {
    data.uFlags |= NIF_INFO;
    CopyInto(data.szInfoTitle, Widen(kTrayBalloon));
    CopyInto(data.szInfo, Widen(kTrayBalloon));
    data.dwInfoFlags = NIIF_INFO;
  }
  if (!balloon) ::Shell_NotifyIconW(NIM_DELETE, &data);  // a shell that kept it would refuse it again
  iconShown_ = ::Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
}

void TrayWindow::RefreshAddressLine() {
  const std::wstring line = Widen(AddressLine(addresses_()));
  if (addressLabel_ != nullptr) ::SetWindowTextW(addressLabel_, line.c_str());
  NOTIFYICONDATAW data{};
  tooltip_ = line.substr(0, std::size(data.szTip) - 1);
  if (!iconShown_) return;
  data.cbSize = sizeof(data);
  data.hWnd = window_;
  data.uID = kIconId;
  data.uFlags = NIF_TIP;
  CopyInto(data.szTip, tooltip_);
  ::Shell_NotifyIconW(NIM_MODIFY, &data);
}

void TrayWindow::ShowMenu() {
  RefreshAddressLine();
  const HMENU menu = ::CreatePopupMenu();
  ::AppendMenuW(menu, MF_STRING, kShowCommand, L"Show");
  ::AppendMenuW(menu, MF_STRING, kQuitCommand, L"Quit");
  POINT at{};
  ::GetCursorPos(&at);
  ::SetForegroundWindow(window_);  // so the menu closes when the user clicks elsewhere
  ::TrackPopupMenu(menu, TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  ::PostMessageW(window_, WM_NULL, 0, 0);
  ::DestroyMenu(menu);
}

void TrayWindow::ShowMainWindow() {
  if (mainWindow_ == nullptr) {
    RECT frame{0, 0, kClientWidth, kClientHeight};
    constexpr DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    ::AdjustWindowRectEx(&frame, style, FALSE, WS_EX_TOPMOST);
    mainWindow_ = ::CreateWindowExW(WS_EX_TOPMOST, kMainClass, Widen(kMainWindowTitle).c_str(), style, 0, 0,
                                    frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                                    ::GetModuleHandleW(nullptr), this);
    if (mainWindow_ == nullptr) return;
    addressLabel_ =
        ::CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE | SS_LEFT, 8, 8, kClientWidth - 16,
                          kClientHeight - 16, mainWindow_, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(addressLabel_, WM_SETFONT, reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)),
                   0);
  }
  RefreshAddressLine();
  // Centred on the first monitor of the system's list, wherever it was before.
  std::vector<Rect> monitors;
  ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  RECT r{};
  ::GetWindowRect(mainWindow_, &r);
  if (!monitors.empty()) {
    const Point at = CenteredOn(monitors.front(), {r.right - r.left, r.bottom - r.top});
    ::SetWindowPos(mainWindow_, HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE);
  }
  ::ShowWindow(mainWindow_, SW_SHOWNORMAL);
  ::SetForegroundWindow(mainWindow_);
}

void TrayWindow::Quit() {
  // The front end stops the server once the loop has ended; the settings were saved at every change.
  if (mainWindow_ != nullptr) ::DestroyWindow(mainWindow_);
  ::DestroyWindow(window_);  // WM_DESTROY ends the loop
}

LRESULT CALLBACK TrayWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<TrayWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, w, l);
  return self->Handle(window, message, w, l);
}

LRESULT TrayWindow::Handle(HWND window, UINT message, WPARAM w, LPARAM l) {
  // Until the hidden window exists every message is its own; after that the other window is the main one.
  if (window == mainWindow_ || (window_ != nullptr && window != window_)) {
    switch (message) {
      case WM_SYSCOMMAND:
        if ((w & 0xFFF0) == SC_MINIMIZE) {
          ::ShowWindow(window, SW_HIDE);
          return 0;
        }
        break;
      case WM_ACTIVATE:
        if (LOWORD(w) != WA_INACTIVE) RefreshAddressLine();
        break;
      case WM_CLOSE:
        Quit();  // closing the window stops the server
        return 0;
      case WM_DESTROY:
        mainWindow_ = nullptr;
        addressLabel_ = nullptr;
        return 0;
      default:
        break;
    }
    return ::DefWindowProcW(window, message, w, l);
  }
  if (message == taskbarCreated_ && taskbarCreated_ != 0) {
    AddIcon(false);  // the shell restarted and forgot the icon
    return 0;
  }
  switch (message) {
    case kTrayMessage:
      if (LOWORD(l) == WM_LBUTTONUP || LOWORD(l) == WM_RBUTTONUP || LOWORD(l) == WM_CONTEXTMENU) ShowMenu();
      return 0;
    case WM_COMMAND:
      if (LOWORD(w) == kShowCommand) ShowMainWindow();
      if (LOWORD(w) == kQuitCommand) Quit();
      return 0;
    case WM_DESTROY: {
      NOTIFYICONDATAW data{};
      data.cbSize = sizeof(data);
      data.hWnd = window;
      data.uID = kIconId;
      if (iconShown_) ::Shell_NotifyIconW(NIM_DELETE, &data);
      iconShown_ = false;
      window_ = nullptr;
      if (!ending_) ::PostQuitMessage(0);
      return 0;
    }
    default:
      return ::DefWindowProcW(window, message, w, l);
  }
}

int RunMessageLoop() {
  MSG message;
  BOOL got = 0;
  while ((got = ::GetMessageW(&message, nullptr, 0, 0)) > 0) {
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return got == 0 ? static_cast<int>(message.wParam) : 1;
}

}  // namespace fernpad::app
