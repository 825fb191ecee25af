#pragma once

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

namespace fernpad::app::wintest {

// The program under test, as a Windows path (the build gives it as a host path, which wine sees on Z:).
inline std::wstring ProgramPath() {
  std::string path = std::getenv("FERNPAD_SERVER_EXE") != nullptr ? std::getenv("FERNPAD_SERVER_EXE") : "";
  if (path.size() > 1 && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return std::wstring(path.begin(), path.end());
}

// The first visible top-level window of the process that `wanted` accepts.
template <class Wanted>
HWND FindWindowOf(DWORD process, Wanted wanted) {
  struct Search {
    DWORD process;
    Wanted* wanted;
    HWND found;
  } search{process, &wanted, nullptr};
  ::EnumWindows(
      [](HWND window, LPARAM l) -> BOOL {
        auto* s = reinterpret_cast<Search*>(l);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == s->process && (*s->wanted)(window)) s->found = window;
        return s->found == nullptr;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

// The program's hidden tray window once it exists (waits at most 20 s); null when none came.
inline HWND WaitForTrayWindow(DWORD process) {
  using namespace std::chrono_literals;
  for (int i = 0; i < 1000; ++i) {
    if (HWND found = FindWindowOf(process, [](HWND w) { return ClassOf(w) == L"FernpadTrayWindow"; }))
      return found;
    std::this_thread::sleep_for(20ms);
  }
  return nullptr;
}

}  // namespace fernpad::app::wintest
