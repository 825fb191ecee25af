#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace fernpad::net {

// What the command logic answers to one request.
struct HttpReply {
  enum class Kind {
    Default,  // the handler wrote nothing: status 200 with no body
    Body,     // status 200 with this body
  };
  Kind kind = Kind::Default;
  std::string body;
};

// Called for every request with the peer's IPv4 address (dotted) and the decoded parameter list. An
// exception ends the request with status 500 and the exception's message as the body.
using HttpHandler = std::function<HttpReply(const std::string& peer, const std::vector<std::string>& params)>;

struct HttpServerOptions {
  std::string address = "0.0.0.0";
  std::uint16_t port = 12769;  // 0: any free port (tests)
  int maxConnections = 64;     // further connections are closed at once
  std::chrono::seconds idleTimeout{
      60};  // a connection that sends no complete request for this long is closed
};

// The HTTP command endpoint: one thread per connection, keep-alive, a cap on simultaneous connections and a
// read timeout, so an idle or half-open client cannot hold a thread forever.
class HttpServer {
 public:
  HttpServer(HttpServerOptions options, HttpHandler handler);
  ~HttpServer();  // stops
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Binds and starts listening; throws std::system_error when the port cannot be bound.
  void Start();
  // Closes the listener and every connection, then waits for the connection threads (a handler that is
  // still running is waited for).
  void Stop();
  // The bound port (after Start).
  std::uint16_t Port() const;
  // Connections being served now.
  int ActiveConnections() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fernpad::net
