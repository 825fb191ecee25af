#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace fernpad::test {

// A plain UDP socket on a loopback address, as the handheld's side of the datagram port.
class UdpTestSocket {
 public:
  struct Received {
    std::string bytes;
    std::string fromAddress;
    std::uint16_t fromPort = 0;
  };

  explicit UdpTestSocket(const std::string& address = "127.0.0.1", std::uint16_t port = 0) {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd_ < 0) throw std::runtime_error("socket");
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) throw std::runtime_error("address");
    if (bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      close(fd_);
      throw std::runtime_error("bind " + address + ":" + std::to_string(port));
    }
    socklen_t len = sizeof local;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &len);
    port_ = ntohs(local.sin_port);
  }
  ~UdpTestSocket() { close(fd_); }
  UdpTestSocket(const UdpTestSocket&) = delete;
  UdpTestSocket& operator=(const UdpTestSocket&) = delete;

  std::uint16_t Port() const { return port_; }

  void SendTo(std::uint16_t port, const std::vector<std::uint8_t>& bytes,
              const std::string& to = "127.0.0.1") {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, to.c_str(), &addr.sin_addr);
    const ssize_t sent =
        sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (sent != static_cast<ssize_t>(bytes.size())) throw std::runtime_error("sendto");
  }
  void SendTo(std::uint16_t port, const std::string& bytes) {
    SendTo(port, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
  }

  // The next datagram, or nothing when none arrives within the timeout (0: only what is queued already).
  std::optional<Received> Receive(std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
    char buf[65536];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return std::nullopt;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    return Received{std::string(buf, static_cast<std::size_t>(n)), text, ntohs(from.sin_port)};
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace fernpad::test
