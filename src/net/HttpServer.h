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
  std::string contentType = "text/html";
  bool close = false;  // close the connection after this reply (a peer that was refused)
};

// Called for every request with the peer's IPv4 address (dotted) and the decoded parameter list. An
// exception ends the request with status 500 and the exception's message as a plain-text body, so the
// message must not carry the peer's text.
using HttpHandler = std::function<HttpReply(const std::string& peer, const std::vector<std::string>& params)>;

struct HttpServerOptions {
  std::string address = "0.0.0.0";
  std::uint16_t port = 12769;  // 0: any free port (tests)
  int maxConnections = 64;     // further connections are closed at once
  // Peers the server trusts (the allowed devices); unset: every peer. The others can never crowd out a
  // trusted peer: together they hold at most maxUntrusted connections, each at most maxUntrustedPerPeer,
  // and they are closed after untrustedIdleTimeout without a complete request.
  std::function<bool(const std::string& peer)> trusted;
  int maxPerPeer = 32;  // a trusted peer's own cap
  int maxUntrusted = 16;
  int maxUntrustedPerPeer = 4;
  std::chrono::seconds idleTimeout{
      60};  // a connection that sends no complete request for this long is closed
  std::chrono::seconds untrustedIdleTimeout{5};
  // Names a request's Host may carry besides IP literals and "localhost"; empty: this machine's name.
  std::vector<std::string> hostNames;
};

// The HTTP command endpoint: one thread per connection, keep-alive, caps on simultaneous connections in
// total and per peer, and read timeouts, so an idle or half-open client cannot hold a thread forever.
// Only the handheld's kind of request reaches the handler (see ScreenRequest); malformed requests get
// 400, 413 or 431 before the connection is closed. Every reply says X-Content-Type-Options: nosniff.
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
