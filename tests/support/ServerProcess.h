#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace fernpad::test {

// The built fernpad-server, started for a test (with --verbose unless asked otherwise) and any free HTTP,
// datagram, upload and browser remote port on the given display. The constructor waits until the server
// listens on its ports.
class ServerProcess {
 public:
  struct Options {
    std::vector<std::string> extraArgs;
    std::vector<std::string> extraEnv;  // "NAME=value" entries for the server, in place of the test's own
    bool headless = true;               // false: the Qt front end (needs the display to be usable by Qt)
    bool allowLoopback = true;  // start with --allow 127.0.0.1, so requests are served without a prompt
    // false: without --verbose, as a person runs it (nothing logged); the ports are then read from /proc
    // instead of the log.
    bool verbose = true;
    // Runs with the --config-dir folder (created, empty) before the server starts, e.g. to write
    // "option.dat".
    std::function<void(const std::string&)> prepare;
    // How long the constructor waits for the ports (a backend that asks the desktop first takes longer).
    std::chrono::seconds startTimeout{20};
  };
  ServerProcess(const std::string& binary, const std::string& display)
      : ServerProcess(binary, display, Options{}) {}
  ServerProcess(const std::string& binary, const std::string& display, const Options& options);
  ~ServerProcess();  // ends the process if it still runs
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int HttpPort() const { return port_; }
  int UploadPort() const { return uploadPort_; }
  int UdpPort() const { return udpPort_; }
  // The browser remote's port, when started with "--web-remote" (0 otherwise).
  int WebPort() const { return webPort_; }
  // The server's process id while it runs (-1 once stopped), e.g. to read its /proc entries.
  pid_t Pid() const { return pid_; }
  // The test's own folder and the program's working folder: --config-dir is its "config", XDG_CONFIG_HOME
  // and XDG_DATA_HOME lie inside it.
  const std::string& Home() const { return home_; }
  // Sends SIGTERM and returns the exit status (-1 if it did not end within the timeout or died of a signal).
  int Stop(std::chrono::seconds timeout = std::chrono::seconds(10));
  // What the server wrote to its standard error until it listened on its ports.
  const std::string& StartLog() const { return startLog_; }
  // Standard output so far (waits up to timeout for at least minBytes).
  std::string Stdout(std::size_t minBytes = 0,
                     std::chrono::milliseconds timeout = std::chrono::milliseconds(0));

 private:
  pid_t pid_ = -1;
  int stdoutFd_ = -1;
  int stderrFd_ = -1;
  int port_ = 0;
  int uploadPort_ = 0;
  int udpPort_ = 0;
  int webPort_ = 0;
  std::string out_;
  std::string startLog_;
  std::string home_;
};

// Runs curl (a real HTTP client) against 127.0.0.1:port with the given path and query. Returns the full
// response with headers (curl -i), or "" when the request failed.
std::string Curl(int port, const std::string& pathAndQuery);

}  // namespace fernpad::test
