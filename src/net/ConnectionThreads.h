#pragma once

#include <atomic>
#include <boost/asio.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace fernpad::net {

using Clock = std::chrono::steady_clock;

// How many connections may be served at once. Peers the server trusts (the allowed devices) can never be
// crowded out by the others: together those hold at most maxUntrusted connections, each at most
// maxUntrustedPerPeer.
struct ConnectionLimits {
  int maxConnections = 64;                               // further connections are closed at once
  std::function<bool(const std::string& peer)> trusted;  // unset: every peer
  int maxPerPeer = 32;                                   // a trusted peer's own cap
  int maxUntrusted = 16;
  int maxUntrustedPerPeer = 4;
};

// One accepted connection, served with blocking reads and writes on its own thread. Timeouts come from the
// watchdog of ConnectionThreads: the connection only records which phase it is in and that it made
// progress (no clock read per step); the watchdog notices a phase that has not changed for longer than its
// timeout and shuts the socket down, which ends a blocked read or write at once.
class Connection {
 public:
  Connection(boost::asio::ip::tcp::socket s, std::string p, bool t)
      : socket(std::move(s)), peer(std::move(p)), trusted(t) {}

  boost::asio::ip::tcp::socket socket;
  const std::string peer;  // the IPv4 address, dotted
  const bool trusted;      // when it connected

  // Enters a phase (the server's own numbering) or, entering the same one again, records progress.
  void Enter(int next) {
    phase_.store(next, std::memory_order_relaxed);
    steps_.fetch_add(1, std::memory_order_release);
  }
  int Phase() const { return phase_.load(std::memory_order_relaxed); }
  // Ends a blocked read or write (from another thread); nothing once the connection is closed.
  void ShutDown();
  // Closes the socket for good (the serving thread, at its end).
  void Close();

 private:
  friend class ConnectionThreads;
  std::mutex closeMutex_;  // the socket is shut down by the watchdog only while it is open
  bool closed_ = false;
  std::thread thread_;
  std::atomic<bool> done_{false};
  std::atomic<int> phase_{0};
  std::atomic<std::uint64_t> steps_{0};  // counts phase changes and progress
  // The watchdog's own view (only its thread touches these).
  std::uint64_t seenSteps_ = ~std::uint64_t{0};
  Clock::time_point seenSince_;
};

// A TCP listener that serves each accepted connection on a thread of its own, within ConnectionLimits,
// with a watchdog that cuts off connections that stay too long in one phase.
class ConnectionThreads {
 public:
  // Runs on the connection's own thread and serves it until it ends; the connection is closed afterwards.
  // Must not throw.
  using Serve = std::function<void(Connection&)>;
  // How long a connection may stay in this phase without progress; nothing: as long as it takes (waiting
  // for a person).
  using Timeout = std::function<std::optional<Clock::duration>(const Connection&, int phase)>;

  // name: for the log.
  ConnectionThreads(std::string name, ConnectionLimits limits, Serve serve, Timeout timeout);
  ~ConnectionThreads();  // stops
  ConnectionThreads(const ConnectionThreads&) = delete;
  ConnectionThreads& operator=(const ConnectionThreads&) = delete;

  // Binds and starts listening; throws std::system_error when the port cannot be bound.
  void Start(const std::string& address, std::uint16_t port);
  // Closes the listener and shuts every connection down without waiting for their threads (a thread may be
  // waiting for a person); the port is free once this returns.
  void Close();
  // Closes, then waits for the connection threads.
  void Stop();
  bool Stopping() const { return stopping_; }
  std::uint16_t Port() const { return port_; }
  int ActiveConnections() const;

 private:
  void AcceptNext();
  const char* Refusal(const std::string& peer, bool trusted) const;  // under mutex_
  void ReapFinished();                                               // under mutex_
  void Watch();

  std::string name_;
  ConnectionLimits limits_;
  Serve serve_;
  Timeout timeout_;
  boost::asio::io_context acceptIoc_;
  boost::asio::io_context connectionIoc_;  // owns the connection sockets; never run: their I/O is blocking
  boost::asio::ip::tcp::acceptor acceptor_{acceptIoc_};
  std::thread acceptThread_;
  std::thread watchdog_;
  std::condition_variable watchdogWake_;
  mutable std::mutex mutex_;
  std::list<std::shared_ptr<Connection>> connections_;
  std::atomic<bool> stopping_{false};
  std::uint16_t port_ = 0;
};

}  // namespace fernpad::net
