// The monitors and the screen capture of the Windows backend.
#include <windows.h>

#include <cstring>
#include <stdexcept>

// windows.h makes VkKeyScan a macro for VkKeyScanA, which would rename a method of the class.
#undef VkKeyScan
#include "platform/windows/WindowsPlatform.h"

namespace fernpad {

namespace {

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!::GetMonitorInfoA(monitor, &info)) return TRUE;
  auto& monitors = *reinterpret_cast<std::vector<Rect>*>(list);
  const RECT& r = info.rcMonitor;
  const Rect rect{static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
                  static_cast<int>(r.bottom - r.top)};
  if (info.dwFlags & MONITORINFOF_PRIMARY) {
    monitors.insert(monitors.begin(), rect);
  } else {
    monitors.push_back(rect);
  }
  return TRUE;
}

// Releases what the capture takes from GDI, in reverse order.
struct ScreenDc {
  HDC dc = ::GetDC(nullptr);
  ~ScreenDc() {
    if (dc != nullptr) ::ReleaseDC(nullptr, dc);
  }
};
struct MemoryDc {
  HDC dc;
  ~MemoryDc() {
    if (dc != nullptr) ::DeleteDC(dc);
  }
};
struct Object {
  HGDIOBJ object;
  ~Object() {
    if (object != nullptr) ::DeleteObject(object);
  }
};

}  // namespace

Size WindowsPlatform::PrimaryScreenSize() {
  return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

std::vector<Rect> WindowsPlatform::Monitors() {
  std::vector<Rect> monitors;
  ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

void WindowsPlatform::CaptureScreen(Bitmap24& out) {
  const Size size = PrimaryScreenSize();
  if (size.width <= 0 || size.height <= 0) throw std::runtime_error("the screen has no size");
  ScreenDc screen;
  if (screen.dc == nullptr) throw std::runtime_error("cannot open the screen");
  MemoryDc memory{::CreateCompatibleDC(screen.dc)};
  if (memory.dc == nullptr) throw std::runtime_error("cannot create a memory device context");

  // A top-down 24-bit section: its rows are laid out as Bitmap24's (blue, green, red, four-byte rows).
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size.width;
  info.bmiHeader.biHeight = -size.height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  Object section{::CreateDIBSection(screen.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0)};
  if (section.object == nullptr || bits == nullptr) throw std::runtime_error("cannot create a bitmap");
  const HGDIOBJ previous = ::SelectObject(memory.dc, section.object);
  // CAPTUREBLT takes layered windows too; the cursor is not part of the screen's contents.
  const bool copied =
      ::BitBlt(memory.dc, 0, 0, size.width, size.height, screen.dc, 0, 0, SRCCOPY | CAPTUREBLT) != 0;
  ::GdiFlush();
  ::SelectObject(memory.dc, previous);
  if (!copied) throw std::runtime_error("cannot read the screen");

  out.SetSize(size.width, size.height);
  std::memcpy(out.Row(0), bits, out.Stride() * static_cast<std::size_t>(size.height));
}

}  // namespace fernpad
