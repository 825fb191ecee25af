#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fernpad::web {

// What the server sends back for one message of the page.
struct WebReply {
  std::string binary;  // a binary message (a snapshot); empty: nothing
  bool close = false;  // end the socket (the device is no longer allowed)
};

struct WebHandlers {
  // Whether the page may be given to the peer; false (a denied device): the connection is closed unanswered.
  std::function<bool(const std::string& peer)> mayLoadPage;
  // Called for a handshake that carries the token and comes from the page: whether the peer may control the
  // PC. May wait for a person. False: refused with 403.
  std::function<bool(const std::string& peer)> admit;
  // One text message of an open socket. An exception ends that message only.
  std::function<WebReply(const std::string& peer, std::string_view message)> message;
};

struct WebServerOptions {
  std::string address = "0.0.0.0";
  std::uint16_t port = 12773;  // 0: any free port (tests)
  std::string token;           // what the page's socket must carry (see ScreenHandshake)
  int maxConnections = 32;     // further connections are closed at once
  // Peers the server trusts (the allowed devices); unset: every peer. The others together hold at most
  // maxUntrusted connections, each at most maxUntrustedPerPeer.
  std::function<bool(const std::string& peer)> trusted;
  int maxPerPeer = 8;
  int maxUntrusted = 8;
  int maxUntrustedPerPeer = 2;
  // A connection that sends no complete request for this long is closed (untrusted: the shorter one);
  // an open socket that sends no message for socketIdleTimeout likewise (the page says "p" meanwhile).
  std::chrono::seconds idleTimeout{30};
  std::chrono::seconds untrustedIdleTimeout{5};
  std::chrono::seconds socketIdleTimeout{90};
  // Names a request's Host may carry besides IP literals and "localhost"; empty: this machine's name.
  std::vector<std::string> hostNames;
};

// The browser remote's endpoint: the page at "/" and the page's WebSocket, one thread per connection
// within caps on connections in total and per peer, with read timeouts. Messages are text, at most
// kMaxMessage bytes (a longer or a binary one ends the socket). Every refused handshake gets its status and
// the connection closed; everything but "/" and the socket gets 404, methods other than GET 405.
class WebServer {
 public:
  WebServer(WebServerOptions options, WebHandlers handlers);
  ~WebServer();  // stops
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds and starts listening; throws std::system_error when the port cannot be bound.
  void Start();
  // Closes the listener and shuts every connection down; the port is free once this returns.
  void Close();
  // Closes, then waits for the connection threads.
  void Stop();
  std::uint16_t Port() const;
  const std::string& Token() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fernpad::web
