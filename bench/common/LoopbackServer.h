#pragma once

// What the end-to-end benchmarks share: the server on loopback with any free ports and access control off,
// one keep-alive HTTP connection to it, and the median of repeated timings.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Loopback.h"
#include "server/Server.h"

namespace fernpad::bench {

inline double MedianMs(int runs, const std::function<void()>& work) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    work();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// The server on 127.0.0.1 with the given platform, every port chosen by the system.
class LoopbackServer {
 public:
  explicit LoopbackServer(Platform& platform, const settings::Options& options = {}) {
    LoadSettings(options);
    ServerOptions serverOptions;
    serverOptions.bindAddress = "127.0.0.1";
    serverOptions.httpPort = 0;
    serverOptions.udpPort = 0;
    serverOptions.uploadPort = 0;
    server_ = std::make_unique<Server>(platform, ui_, settings_, serverOptions);
    server_->Start();
  }
  ~LoopbackServer() { server_->Stop(); }
  std::uint16_t HttpPort() const { return server_->HttpPort(); }
  // Changes the settings as the settings window would; access control stays off.
  void LoadSettings(settings::Options options) {
    options.DisableAccessControl = true;
    settings_.Load(options);
  }

 private:
  NullUi ui_;
  settings::LiveSettings settings_;
  std::unique_ptr<Server> server_;
};

// One keep-alive connection; Get() sends a command request and reads the whole reply.
class Connection {
 public:
  explicit Connection(std::uint16_t port) : fd_(test::ConnectLoopback(port)) {}
  ~Connection() { close(fd_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  // `params` is the query after "/?", e.g. "x:0&y:0&a=ss"; returns the body's length.
  std::size_t Get(const std::string& params) {
    const std::string req = "GET /?" + params + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (write(fd_, req.data(), req.size()) != static_cast<ssize_t>(req.size()))
      throw std::runtime_error("write");
    std::string got;
    char buf[65536];
    while (true) {
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) throw std::runtime_error("read");
      got.append(buf, static_cast<std::size_t>(n));
      const auto head = got.find("\r\n\r\n");
      if (head == std::string::npos) continue;
      const auto cl = got.find("Content-Length: ");
      const std::size_t length = std::stoul(got.substr(cl + 16));
      if (got.size() >= head + 4 + length) return length;
    }
  }

 private:
  int fd_ = -1;
};

}  // namespace fernpad::bench
