// The windowed program as a user runs it: started, ended with "Quit" from the tray menu.
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/win/TrayWindow.h"
#include "settings/OptionsStore.h"

namespace fernpad::app {
namespace {

using namespace std::chrono_literals;

// The program under test, as a Windows path (the build gives it as a host path, which wine sees on Z:).
std::wstring ProgramPath() {
  std::string path = std::getenv("FERNPAD_SERVER_EXE") != nullptr ? std::getenv("FERNPAD_SERVER_EXE") : "";
  if (path.size() > 1 && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return std::wstring(path.begin(), path.end());
}

struct Search {
  DWORD process;
  HWND found;
};

// The program's hidden tray window once it exists (waits at most 20 s); null when none came.
HWND WaitForTrayWindow(DWORD process) {
  for (int i = 0; i < 1000; ++i) {
    Search search{process, nullptr};
    ::EnumWindows(
        [](HWND window, LPARAM l) -> BOOL {
          auto* s = reinterpret_cast<Search*>(l);
          DWORD owner = 0;
          ::GetWindowThreadProcessId(window, &owner);
          wchar_t className[64] = {};
          ::GetClassNameW(window, className, 64);
          if (owner == s->process && std::wstring_view(className) == L"FernpadTrayWindow") s->found = window;
          return s->found == nullptr;
        },
        reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    std::this_thread::sleep_for(20ms);
  }
  return nullptr;
}

TEST(Program, QuitFromTheTrayStopsTheServerAndKeepsTheSettings) {
  const std::filesystem::path config =
      std::filesystem::temp_directory_path() / ("fernpad-tray-" + std::to_string(::GetCurrentProcessId()));
  std::filesystem::create_directories(config);
  std::wstring command = L"\"" + ProgramPath() + L"\" --config-dir \"" + config.wstring() +
                         L"\" --http-port 0 --udp-port 0 --upload-port 0 --allow 10.1.2.3";
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION program{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &program))
      << ::GetLastError();

  HWND tray = WaitForTrayWindow(program.dwProcessId);
  EXPECT_NE(tray, nullptr);
  if (tray != nullptr) ::PostMessageW(tray, WM_COMMAND, TrayWindow::kQuitCommand, 0);
  const bool ended = ::WaitForSingleObject(program.hProcess, 20000) == WAIT_OBJECT_0;
  EXPECT_TRUE(ended);
  DWORD code = 99;
  if (ended) {
    ::GetExitCodeProcess(program.hProcess, &code);
  } else {
    ::TerminateProcess(program.hProcess, 98);  // the program this test started
    ::WaitForSingleObject(program.hProcess, 5000);
  }
  ::CloseHandle(program.hThread);
  ::CloseHandle(program.hProcess);
  EXPECT_EQ(code, 0u);

  // The --allow address reached the options file.
  settings::OptionsStore store(config / "option.dat", nullptr, "C:\\");
  const settings::Options options = store.LoadOptions();
  EXPECT_EQ(options.AllowedHosts, std::vector<std::string>{"10.1.2.3"});
  std::error_code ignored;
  std::filesystem::remove_all(config, ignored);
}

}  // namespace
}  // namespace fernpad::app
