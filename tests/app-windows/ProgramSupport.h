#pragma once

#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "app/win/TrayWindow.h"

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

// Runs this thread's windows until done() holds (at most 20 s); false when it never did.
inline bool PumpUntil(const std::function<bool()>& done) {
  using namespace std::chrono_literals;
  for (int i = 0; i < 2000; ++i) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
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

// Chooses "Quit" in the tray menu of a program the test started and waits up to timeoutMs for it to end;
// its exit code, or 99 when it had no tray window or did not end (it is then terminated). Closes the
// handles.
inline DWORD QuitFromTray(PROCESS_INFORMATION& program, DWORD timeoutMs) {
  DWORD code = 99;
  if (const HWND tray = WaitForTrayWindow(program.dwProcessId)) {
    ::PostMessageW(tray, WM_COMMAND, TrayWindow::kQuitCommand, 0);
    if (::WaitForSingleObject(program.hProcess, timeoutMs) == WAIT_OBJECT_0)
      ::GetExitCodeProcess(program.hProcess, &code);
  }
  if (::WaitForSingleObject(program.hProcess, 0) != WAIT_OBJECT_0) {
    ::TerminateProcess(program.hProcess, 98);
    ::WaitForSingleObject(program.hProcess, 5000);
  }
  ::CloseHandle(program.hThread);
  ::CloseHandle(program.hProcess);
  return code;
}

}  // namespace fernpad::app::wintest
