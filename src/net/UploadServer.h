#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "upload/UploadStream.h"

namespace fernpad::net {

// The bytes of one upload connection, read on its own thread.
class UploadConnection : public upload::ByteSource {
 public:
  // The next read begins a command: the peer may stay quiet there for as long as idleTimeout allows.
  virtual void BetweenCommands() = 0;
  // The connection waits for a person (a question on screen) until its next read, without a timeout.
  virtual void WaitingForPerson() = 0;
};

// Serves one connection with the peer's IPv4 address (dotted) until it returns or throws (a StreamError
// when the connection ended); the connection is closed afterwards. Nothing is ever sent back.
using UploadHandler = std::function<void(const std::string& peer, UploadConnection& connection)>;

struct UploadServerOptions {
  std::string address = "0.0.0.0";
  std::uint16_t port = 12772;  // 0: any free port (tests)
  int maxConnections = 32;     // further connections are closed at once
  // Peers the server trusts (the allowed devices); unset: every peer. The others together hold at most
  // maxUntrusted connections, each at most maxUntrustedPerPeer.
  std::function<bool(const std::string& peer)> trusted;
  int maxPerPeer = 8;
  int maxUntrusted = 8;
  int maxUntrustedPerPeer = 2;
  // A connection quiet this long between commands is closed (a handheld may keep one open for a whole
  // presentation).
  std::chrono::milliseconds idleTimeout = std::chrono::hours(2);
  // A connection that sends nothing for this long in the middle of a command is closed.
  std::chrono::milliseconds stallTimeout = std::chrono::seconds(30);
};

// The photo upload endpoint: a plain TCP stream, one thread per connection, caps on simultaneous
// connections in total and per peer, and timeouts, so a stalled upload cannot hold a thread for ever.
class UploadServer {
 public:
  UploadServer(UploadServerOptions options, UploadHandler handler);
  ~UploadServer();  // stops
  UploadServer(const UploadServer&) = delete;
  UploadServer& operator=(const UploadServer&) = delete;

  // Binds and starts listening; throws std::system_error when the port cannot be bound.
  void Start();
  // Closes the listener and every connection, then waits for the connection threads (a handler waiting
  // for a person is waited for).
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
