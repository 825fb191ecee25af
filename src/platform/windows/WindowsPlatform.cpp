#include "platform/windows/WindowsPlatform.h"

// In this order: winsock2 before windows.h, iphlpapi after both.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

// windows.h makes VkKeyScan a macro for VkKeyScanA, which would rename the method defined below.
#undef VkKeyScan

#include <cstdlib>
#include <memory>

namespace fernpad {

namespace {

// The physical cursor calls count in the screen's pixels whatever a window's scaling; systems before
// Vista lack them and use the plain ones.
struct CursorCalls {
  using Get = BOOL(WINAPI*)(POINT*);
  using Set = BOOL(WINAPI*)(int, int);
  Get get = ::GetCursorPos;
  Set set = ::SetCursorPos;

  CursorCalls() {
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    if (user32 == nullptr) return;
    if (const FARPROC found = ::GetProcAddress(user32, "GetPhysicalCursorPos")) {
      get = reinterpret_cast<Get>(reinterpret_cast<void*>(found));
    }
    if (const FARPROC found = ::GetProcAddress(user32, "SetPhysicalCursorPos")) {
      set = reinterpret_cast<Set>(reinterpret_cast<void*>(found));
    }
  }
};

const CursorCalls& Cursor() {
  static const CursorCalls calls;
  return calls;
}

// Keys whose records carry KEYEVENTF_EXTENDEDKEY: without it Windows takes the arrows and the editing
// block for the number pad's keys of the same code.
bool IsExtendedKey(std::uint16_t vk) {
  switch (vk) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_DIVIDE:
    case VK_NUMLOCK:
    case VK_RCONTROL:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_APPS:
      return true;
    default:
      return false;
  }
}

std::string LocaleText(LCTYPE what) {
  char text[16] = {};
  if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, what, text, sizeof text) == 0) return {};
  return text;
}

}  // namespace

bool WindowsPlatform::GetCursorPos(Point& p) {
  POINT at{};
  if (!Cursor().get(&at)) return false;
  p = {static_cast<int>(at.x), static_cast<int>(at.y)};
  return true;
}

bool WindowsPlatform::SetCursorPos(Point p) {
  return Cursor().set(p.x, p.y) != 0;
}

void WindowsPlatform::SendMouseInput(std::uint32_t flags, std::int32_t mouseData) {
  // The mouse:: flags are Windows' own MOUSEEVENTF_ values.
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = flags;
  input.mi.mouseData = static_cast<DWORD>(mouseData);
  ::SendInput(1, &input, sizeof input);
}

void WindowsPlatform::SendKeyInput(std::uint16_t virtualKey, bool keyUp) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtualKey;
  input.ki.wScan = static_cast<WORD>(::MapVirtualKeyA(virtualKey, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = (keyUp ? KEYEVENTF_KEYUP : 0) | (IsExtendedKey(virtualKey) ? KEYEVENTF_EXTENDEDKEY : 0);
  ::SendInput(1, &input, sizeof input);
}

std::int16_t WindowsPlatform::VkKeyScan(std::uint8_t c) {
  return static_cast<std::int16_t>(::VkKeyScanA(static_cast<CHAR>(c)));
}

std::string WindowsPlatform::ForegroundWindowTitle() {
  const HWND window = ::GetForegroundWindow();
  if (window == nullptr) return {};
  char title[512] = {};
  const int length = ::GetWindowTextA(window, title, sizeof title);
  return std::string(title, static_cast<std::size_t>(length > 0 ? length : 0));
}

std::string WindowsPlatform::KeyboardLayoutName() {
  char name[KL_NAMELENGTH] = {};
  if (!::GetKeyboardLayoutNameA(name)) return {};
  return name;
}

int WindowsPlatform::CountryCode() {
  return std::atoi(LocaleText(LOCALE_ICOUNTRY).c_str());
}

char WindowsPlatform::DecimalSeparator() {
  const std::string separator = LocaleText(LOCALE_SDECIMAL);
  return separator.empty() ? '.' : separator[0];
}

bool WindowsPlatform::PowerOff() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const bool enabled = ::LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) &&
                       ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                       ::GetLastError() == ERROR_SUCCESS;
  ::CloseHandle(token);
  if (!enabled) return false;
  return ::ExitWindowsEx(EWX_POWEROFF | EWX_FORCE, SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_FLAG_PLANNED) != 0;
}

std::vector<std::string> WindowsPlatform::LocalIPv4Addresses() {
  constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  ULONG size = 16 * 1024;
  std::unique_ptr<std::uint8_t[]> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The list can grow between the call that sizes it and the one that fills it; a few tries are enough.
  for (int attempt = 0; attempt < 4 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    buffer = std::make_unique<std::uint8_t[]>(size);
    result = ::GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                    reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()), &size);
  }
  std::vector<std::string> addresses;
  if (result != NO_ERROR) return addresses;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter != nullptr;
       adapter = adapter->Next) {
    if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK || adapter->OperStatus != IfOperStatusUp) continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr; unicast = unicast->Next) {
      const auto* address = reinterpret_cast<const sockaddr_in*>(unicast->Address.lpSockaddr);
      if (address == nullptr || address->sin_family != AF_INET) continue;
      if ((ntohl(address->sin_addr.s_addr) >> 24) == 127) continue;
      char text[INET_ADDRSTRLEN] = {};
      if (::inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr)
        addresses.emplace_back(text);
    }
  }
  return addresses;
}

}  // namespace fernpad
