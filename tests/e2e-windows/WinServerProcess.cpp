#include "WinServerProcess.h"

#include <boost/asio.hpp>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "app/StopRequest.h"

namespace fernpad::test {
namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::wstring Widen(const std::string& s) {
  return std::wstring(s.begin(), s.end());  // the arguments of these tests are ASCII
}

std::wstring QuoteArgument(const std::string& arg) {
  return L"\"" + Widen(arg) + L"\"";  // none holds a quote or ends in a backslash
}

}  // namespace

WinServerProcess::WinServerProcess(const std::string& binary, const std::vector<std::string>& extraArgs) {
  folder_ = fs::temp_directory_path() / ("fernpad-e2e-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                         std::to_string(::GetTickCount64()));
  configDir_ = folder_ / "config";
  logFile_ = folder_ / "server.log";
  fs::create_directories(folder_);

  std::vector<std::string> args = {
      binary,          "--headless", "--verbose",    "--http-port",      "0", "--udp-port", "0",
      "--upload-port", "0",          "--config-dir", configDir_.string()};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  std::wstring commandLine;
  for (const auto& arg : args) commandLine += (commandLine.empty() ? L"" : L" ") + QuoteArgument(arg);

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE log =
      ::CreateFileW(logFile_.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  const HANDLE nul = ::CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE || nul == INVALID_HANDLE_VALUE) throw std::runtime_error("no log file");
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul;
  startup.hStdOutput = log;
  startup.hStdError = log;
  const BOOL started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, folder_.wstring().c_str(), &startup, &process_);
  ::CloseHandle(log);
  ::CloseHandle(nul);
  if (!started) throw std::runtime_error("fernpad-server.exe did not start");

  const std::regex portLine(R"(HTTP port (\d+))");
  for (int i = 0; i < 300; ++i) {  // up to 30 s
    std::smatch m;
    const std::string text = Log();
    if (std::regex_search(text, m, portLine)) {
      httpPort_ = std::stoi(m[1]);
      return;
    }
    if (::WaitForSingleObject(process_.hProcess, 100) == WAIT_OBJECT_0) break;
  }
  throw std::runtime_error("fernpad-server.exe did not report its port; its log:\n" + Log());
}

WinServerProcess::~WinServerProcess() {
  if (process_.hProcess != nullptr && Stop() < 0) {
    ::TerminateProcess(process_.hProcess, 99);
    ::WaitForSingleObject(process_.hProcess, 5000);
  }
  if (process_.hProcess != nullptr) ::CloseHandle(process_.hProcess);
  if (process_.hThread != nullptr) ::CloseHandle(process_.hThread);
  std::error_code ec;
  fs::remove_all(folder_, ec);
}

std::string WinServerProcess::Log() const {
  std::ifstream in(logFile_, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int WinServerProcess::Stop(std::chrono::milliseconds timeout) {
  DWORD code = 0;
  if (::GetExitCodeProcess(process_.hProcess, &code) && code != STILL_ACTIVE) return static_cast<int>(code);
  const std::string name = app::StopEventName(process_.dwProcessId);
  const HANDLE event = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
  if (event == nullptr) return -1;
  ::SetEvent(event);
  ::CloseHandle(event);
  if (::WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
    return -1;
  ::GetExitCodeProcess(process_.hProcess, &code);
  return static_cast<int>(code);
}

std::string HttpGet(int port, const std::string& target) {
  try {
    boost::asio::io_context io;
    boost::asio::ip::tcp::socket socket(io);
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), static_cast<unsigned short>(port)});
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    boost::asio::write(socket, boost::asio::buffer(request));
    std::string reply;
    boost::system::error_code ec;
    boost::asio::read(socket, boost::asio::dynamic_buffer(reply), ec);  // until the server closes
    return ec == boost::asio::error::eof ? reply : std::string();
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace fernpad::test
