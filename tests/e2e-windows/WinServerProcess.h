#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace fernpad::test {

// The built fernpad-server.exe, started --headless --verbose for a test on free ports, with --config-dir a
// fresh folder, standard input the null device (nobody can answer a question) and its output in a log
// file. The constructor waits until the log names the ports.
class WinServerProcess {
 public:
  WinServerProcess(const std::string& binary, const std::vector<std::string>& extraArgs);
  ~WinServerProcess();  // stops the server if it still runs, removes the folder
  WinServerProcess(const WinServerProcess&) = delete;
  WinServerProcess& operator=(const WinServerProcess&) = delete;

  int HttpPort() const { return httpPort_; }
  const std::filesystem::path& ConfigDir() const { return configDir_; }
  std::string Log() const;
  // Asks for a clean stop through the process's stop event; its exit code, or -1 when it did not end in time.
  int Stop(std::chrono::milliseconds timeout = std::chrono::seconds(20));

 private:
  std::filesystem::path folder_;
  std::filesystem::path configDir_;
  std::filesystem::path logFile_;
  PROCESS_INFORMATION process_{};
  int httpPort_ = 0;
};

// A whole HTTP/1.1 exchange with 127.0.0.1:port (Connection: close): the raw reply, or "" on failure.
std::string HttpGet(int port, const std::string& target);

}  // namespace fernpad::test
