// The windowed program as a user runs it: started, ended with "Quit" from the tray menu.
#include <windows.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "settings/OptionsStore.h"

namespace fernpad::app {
namespace {

using wintest::ProgramPath;

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

  EXPECT_EQ(wintest::QuitFromTray(program, 20000), 0u) << "Quit ends the program";

  // The --allow address reached the options file.
  settings::OptionsStore store(config / "option.dat", nullptr, "C:\\");
  const settings::Options options = store.LoadOptions();
  EXPECT_EQ(options.AllowedHosts, std::vector<std::string>{"10.1.2.3"});
  std::error_code ignored;
  std::filesystem::remove_all(config, ignored);
}

}  // namespace
}  // namespace fernpad::app
