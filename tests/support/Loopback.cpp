#include "Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace fernpad::test {

int ConnectLoopback(std::uint16_t port, const std::string& from) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket");
  if (!from.empty()) {
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (inet_pton(AF_INET, from.c_str(), &local.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
      close(fd);
      throw std::runtime_error("cannot bind to " + from);
    }
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    throw std::runtime_error("connect");
  }
  return fd;
}

std::string HttpRequest(std::uint16_t port, const std::string& query, const std::string& from) {
  const int fd = ConnectLoopback(port, from);
  const std::string req = "GET /?" + query + " HTTP/1.0\r\n\r\n";
  if (write(fd, req.data(), req.size()) != static_cast<ssize_t>(req.size())) {
    close(fd);
    throw std::runtime_error("write");
  }
  std::string response;
  char buf[4096];
  for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) response.append(buf, static_cast<std::size_t>(n));
  close(fd);
  return response;
}

std::string ResponseHeader(const std::string& response, const std::string& name) {
  const auto at = response.find("\r\n" + name + ": ");
  if (at == std::string::npos || at > response.find("\r\n\r\n")) return "(none)";
  const auto begin = at + name.size() + 4;
  return response.substr(begin, response.find("\r\n", begin) - begin);
}

}  // namespace fernpad::test
