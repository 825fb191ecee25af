#pragma once

#include <windows.h>

#include <vector>

#include "app/Placement.h"
#include "core/Geometry.h"

// What the windows of the Windows front end share: the monitors, the DPI a window is laid out for, the
// registration of window classes, the object a window belongs to.
namespace fernpad::app {

// The object a window was made for (the last parameter of CreateWindowEx), kept with the window.
template <class T>
T* Owner(HWND window, UINT message, LPARAM l) {
  if (message == WM_NCCREATE)
    ::SetWindowLongPtrW(
        window, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<const CREATESTRUCTW*>(l)->lpCreateParams));
  return reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Every monitor's rectangle, in the system's order.
inline std::vector<Rect> Monitors() {
  std::vector<Rect> monitors;
  ::EnumDisplayMonitors(
      nullptr, nullptr,
      [](HMONITOR, HDC, LPRECT r, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<Rect>*>(list)->push_back(
            {r->left, r->top, r->right - r->left, r->bottom - r->top});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

// The monitor the window belongs to (MonitorOf: the one it mostly lies on, else the nearest); the primary
// monitor when there is no such window.
inline Rect MonitorOfWindow(HWND window) {
  RECT r{};
  if (window != nullptr && ::GetWindowRect(window, &r))
    if (const auto monitor = MonitorOf(Monitors(), {r.left, r.top, r.right - r.left, r.bottom - r.top}))
      return *monitor;
  return {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

// The window's DPI where the system tells it (Windows 10 and later), else 96.
inline UINT DpiOf(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  const UINT dpi = getDpi != nullptr ? getDpi(window) : 0;
  return dpi != 0 ? dpi : 96;
}

// Registers a window class of this program; a class registered already stays as it is.
inline void RegisterClassOnce(const wchar_t* name, WNDPROC procedure,
                              HBRUSH background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = name;
  ::RegisterClassExW(&windowClass);
}

}  // namespace fernpad::app
