#include "net/ConnectionThreads.h"

#include <string>
#include <system_error>

#include "core/Log.h"

namespace fernpad::net {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

std::string PeerAddress(const tcp::socket& socket) {
  boost::system::error_code ec;
  auto address = socket.remote_endpoint(ec).address();
  if (ec) return {};
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  return address.to_string();
}

}  // namespace

void Connection::ShutDown() {
  std::lock_guard lock(closeMutex_);
  if (closed_) return;
  boost::system::error_code ignored;
  socket.shutdown(tcp::socket::shutdown_both, ignored);
}

void Connection::Close() {
  std::lock_guard lock(closeMutex_);
  closed_ = true;
  boost::system::error_code ignored;
  socket.shutdown(tcp::socket::shutdown_send, ignored);
  socket.close(ignored);
}

ConnectionThreads::ConnectionThreads(std::string name, ConnectionLimits limits, Serve serve, Timeout timeout)
    : name_(std::move(name)),
      limits_(std::move(limits)),
      serve_(std::move(serve)),
      timeout_(std::move(timeout)) {}

ConnectionThreads::~ConnectionThreads() {
  Stop();
}

void ConnectionThreads::ReapFinished() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if ((*it)->done_) {
      (*it)->thread_.join();
      it = connections_.erase(it);
    } else {
      ++it;
    }
  }
}

const char* ConnectionThreads::Refusal(const std::string& peer, bool trusted) const {
  int total = 0, untrusted = 0, samePeer = 0;
  for (const auto& conn : connections_) {
    if (conn->done_) continue;
    ++total;
    untrusted += conn->trusted ? 0 : 1;
    samePeer += conn->peer == peer ? 1 : 0;
  }
  if (total >= limits_.maxConnections) return "too many connections";
  if (trusted) return samePeer >= limits_.maxPerPeer ? "too many connections from this peer" : nullptr;
  if (untrusted >= limits_.maxUntrusted) return "too many connections from peers not allowed";
  if (samePeer >= limits_.maxUntrustedPerPeer) return "too many connections from this peer";
  return nullptr;
}

void ConnectionThreads::AcceptNext() {
  acceptor_.async_accept(connectionIoc_, [this](boost::system::error_code ec, tcp::socket socket) {
    if (ec || stopping_) return;  // the listener was closed
    std::string peer = PeerAddress(socket);
    const bool trusted = !limits_.trusted || limits_.trusted(peer);
    std::lock_guard lock(mutex_);
    ReapFinished();
    if (const char* refusal = Refusal(peer, trusted)) {
      log::Verbose(name_, ": ", refusal, ", closing one from ", peer);
      boost::system::error_code ignored;
      socket.close(ignored);
    } else {
      socket.set_option(tcp::no_delay(true), ec);
      auto conn = std::make_shared<Connection>(std::move(socket), std::move(peer), trusted);
      connections_.push_back(conn);
      conn->thread_ = std::thread([this, conn] {
        serve_(*conn);
        conn->Close();
        conn->done_ = true;
      });
    }
    AcceptNext();
  });
}

void ConnectionThreads::Watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    watchdogWake_.wait_for(lock, std::chrono::milliseconds(200));
    const auto now = Clock::now();
    for (auto& conn : connections_) {
      if (conn->done_) continue;
      const auto steps = conn->steps_.load(std::memory_order_acquire);
      if (steps != conn->seenSteps_) {
        conn->seenSteps_ = steps;
        conn->seenSince_ = now;
        continue;
      }
      const auto limit = timeout_(*conn, conn->Phase());
      if (limit && now - conn->seenSince_ > *limit) {
        log::Verbose(name_, ": no progress from ", conn->peer, ", closing the connection");
        conn->ShutDown();
      }
    }
  }
}

void ConnectionThreads::Start(const std::string& address, std::uint16_t port) {
  acceptIoc_.restart();
  const tcp::endpoint endpoint(asio::ip::make_address(address), port);
  try {
    acceptor_.open(endpoint.protocol());
#if defined(BOOST_ASIO_WINDOWS)
    // There address reuse would let this listener share a port another program listens on, and a later
    // one take over this one's: exclusive use makes a port in use an error, as it is elsewhere.
    acceptor_.set_option(asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>(true));
#else
    acceptor_.set_option(asio::socket_base::reuse_address(true));  // a restart binds despite TIME_WAIT
#endif
    acceptor_.bind(endpoint);
    acceptor_.listen(asio::socket_base::max_listen_connections);
  } catch (const boost::system::system_error& e) {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
    // Shown to the user as it is ("TCP port 12769: Address already in use"): the port and the reason,
    // without the library's source location.
    throw std::system_error(e.code(), "TCP port " + std::to_string(port));
  }
  port_ = acceptor_.local_endpoint().port();
  stopping_ = false;
  AcceptNext();
  acceptThread_ = std::thread([this] { acceptIoc_.run(); });
  watchdog_ = std::thread([this] { Watch(); });
}

void ConnectionThreads::Close() {
  if (!acceptThread_.joinable()) return;
  stopping_ = true;
  asio::post(acceptIoc_, [this] {
    boost::system::error_code ignored;
    acceptor_.close(ignored);
  });
  acceptThread_.join();
  std::lock_guard lock(mutex_);
  for (auto& conn : connections_) conn->ShutDown();
}

void ConnectionThreads::Stop() {
  Close();
  if (!watchdog_.joinable()) return;
  std::list<std::shared_ptr<Connection>> connections;
  {
    std::lock_guard lock(mutex_);
    connections.swap(connections_);
  }
  watchdogWake_.notify_all();
  watchdog_.join();
  for (auto& conn : connections) conn->ShutDown();
  for (auto& conn : connections) conn->thread_.join();
}

int ConnectionThreads::ActiveConnections() const {
  std::lock_guard lock(mutex_);
  int n = 0;
  for (const auto& conn : connections_) n += conn->done_ ? 0 : 1;
  return n;
}

}  // namespace fernpad::net
