// The windowed program as a user runs it: started, ended with "Quit" from the tray menu.
#include <windows.h>

#include <boost/asio.hpp>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "app/win/MainForm.h"
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

namespace asio = boost::asio;
using asio::ip::tcp;

// A listening socket on a free port of all addresses, that no other socket may share.
struct PortHolder {
  asio::io_context io;
  tcp::acceptor acceptor{io};
  PortHolder() {
    acceptor.open(tcp::v4());
    boost::system::error_code ignored;  // an older wine lacks the option: its sockets never share anyway
    acceptor.set_option(asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>(true), ignored);
    acceptor.bind({tcp::v4(), 0});
    acceptor.listen();
  }
  std::uint16_t Port() const { return acceptor.local_endpoint().port(); }
};

// A whole GET of "/" from 127.0.0.1:port (Connection: close): the raw reply, "" when refused.
std::string HttpGet(std::uint16_t port) {
  try {
    asio::io_context io;
    tcp::socket socket(io);
    socket.connect({asio::ip::make_address("127.0.0.1"), port});
    asio::write(socket,
                asio::buffer(std::string("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n")));
    std::string reply;
    boost::system::error_code ec;
    asio::read(socket, asio::dynamic_buffer(reply), ec);
    return reply;
  } catch (const std::exception&) {
    return {};
  }
}

std::string ControlText(HWND control) {
  wchar_t text[512] = {};
  ::SendMessageW(control, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
  std::string narrow;
  for (const wchar_t* c = text; *c != 0; ++c) narrow += static_cast<char>(*c);  // ASCII here
  return narrow;
}

// The windowed program on free ports with a folder of its own, its browser remote on webPort, its main
// window shown from the tray.
class BrowserRemoteBox : public ::testing::Test {
 protected:
  void Start(std::uint16_t webPort) {
    std::filesystem::create_directories(config_);
    std::wstring command = L"\"" + ProgramPath() + L"\" --config-dir \"" + config_.wstring() +
                           L"\" --http-port 0 --udp-port 0 --upload-port 0 --web-port " +
                           std::to_wstring(webPort);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                                 &startup, &program_))
        << ::GetLastError();
    const HWND tray = wintest::WaitForTrayWindow(program_.dwProcessId);
    ASSERT_NE(tray, nullptr);
    ::PostMessageW(tray, WM_COMMAND, TrayWindow::kShowCommand, 0);
    ASSERT_TRUE(wintest::PumpUntil([&] {
      main_ = wintest::FindWindowOf(program_.dwProcessId, [](HWND w) { return TForm1::IsMainWindow(w); });
      return main_ != nullptr && ::IsWindowVisible(main_);
    }));
  }
  void TearDown() override {
    if (program_.hProcess != nullptr) {
      EXPECT_EQ(wintest::QuitFromTray(program_, 20000), 0u);
    }
    std::error_code ignored;
    std::filesystem::remove_all(config_, ignored);
  }
  HWND Box(TForm1::Id id) const { return ::GetDlgItem(main_, id); }
  void Click(TForm1::Id id) const { ::SendMessageW(Box(id), BM_CLICK, 0, 0); }
  bool Ticked(TForm1::Id id) const { return ::SendMessageW(Box(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  std::string SettingsFile() const {
    std::ifstream in(config_ / "browser-remote.txt");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::filesystem::path config_ =
      std::filesystem::temp_directory_path() / ("fernpad-web-" + std::to_string(::GetCurrentProcessId()));
  PROCESS_INFORMATION program_{};
  HWND main_ = nullptr;
};

TEST_F(BrowserRemoteBox, TickingServesThePageAndStoresItUntickingStopsIt) {
  const std::uint16_t port = PortHolder().Port();  // free again once the holder is gone
  Start(port);
  ASSERT_FALSE(Ticked(TForm1::kWebRemote));
  EXPECT_FALSE(::IsWindowEnabled(Box(TForm1::kKeepAddress)));

  Click(TForm1::kWebRemote);
  EXPECT_TRUE(Ticked(TForm1::kWebRemote));
  EXPECT_TRUE(::IsWindowEnabled(Box(TForm1::kKeepAddress)));
  const std::string page = HttpGet(port);
  EXPECT_EQ(page.rfind("HTTP/1.1 200", 0), 0u) << page.substr(0, 200);
  EXPECT_NE(page.find("<html"), std::string::npos);
  EXPECT_NE(SettingsFile().find("enabled=1"), std::string::npos) << SettingsFile();

  Click(TForm1::kWebRemote);
  EXPECT_FALSE(Ticked(TForm1::kWebRemote));
  EXPECT_FALSE(::IsWindowEnabled(Box(TForm1::kKeepAddress)));
  EXPECT_TRUE(wintest::PumpUntil([&] { return HttpGet(port).empty(); })) << "the page is still served";
  EXPECT_NE(SettingsFile().find("enabled=0"), std::string::npos) << SettingsFile();
}

TEST_F(BrowserRemoteBox, APortInUseLeavesTheBoxUntickedWithTheReason) {
  PortHolder holder;
  Start(holder.Port());

  Click(TForm1::kWebRemote);
  EXPECT_FALSE(Ticked(TForm1::kWebRemote));
  EXPECT_FALSE(::IsWindowEnabled(Box(TForm1::kKeepAddress)));
  EXPECT_EQ(ControlText(Box(TForm1::kWebError)).rfind("TCP port " + std::to_string(holder.Port()) + ": ", 0),
            0u)
      << ControlText(Box(TForm1::kWebError));
  EXPECT_FALSE(std::filesystem::exists(config_ / "browser-remote.txt"));  // nothing stored
}

}  // namespace
}  // namespace fernpad::app
