#include "net/HttpServer.h"

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <condition_variable>
#include <limits>
#include <list>
#include <mutex>
#include <thread>

#include "core/Log.h"
#include "net/QueryParams.h"

namespace fernpad::net {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

std::string PeerAddress(const tcp::socket& socket) {
  boost::system::error_code ec;
  auto address = socket.remote_endpoint(ec).address();
  if (ec) return {};
  if (address.is_v6() && address.to_v6().is_v4_mapped())
    address = asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  return address.to_string();
}

http::response<http::string_body> MakeResponse(http::status status, std::string body, unsigned version,
                                               bool keepAlive) {
  http::response<http::string_body> res{status, version};
  res.set(http::field::content_type, "text/html");
  res.body() = std::move(body);
  res.keep_alive(keepAlive);
  res.prepare_payload();
  return res;
}

}  // namespace

// One connection, served with blocking reads and writes on its own thread (the fastest way here). Timeouts
// come from the server's watchdog: the connection only records which phase it is in (no clock read per
// request); the watchdog notices a phase that has not changed for longer than its timeout and shuts the
// socket down, which ends a blocked read or write at once.
struct Connection {
  enum class Phase { Reading, Handling, Writing };

  explicit Connection(tcp::socket s) : socket(std::move(s)) {}
  tcp::socket socket;
  std::mutex closeMutex;  // the socket is shut down by the watchdog only while it is open
  bool closed = false;
  std::thread thread;
  std::atomic<bool> done{false};
  std::atomic<Phase> phase{Phase::Reading};
  std::atomic<std::uint64_t> steps{0};  // counts phase changes
  // The watchdog's own view (only its thread touches these).
  std::uint64_t seenSteps = ~std::uint64_t{0};
  Clock::time_point seenSince;

  void Enter(Phase next) {
    phase.store(next, std::memory_order_relaxed);
    steps.fetch_add(1, std::memory_order_release);
  }
  void ShutDown() {
    std::lock_guard lock(closeMutex);
    if (closed) return;
    boost::system::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
  }
  void Close() {
    std::lock_guard lock(closeMutex);
    closed = true;
    boost::system::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_send, ignored);
    socket.close(ignored);
  }
};

struct HttpServer::Impl {
  HttpServerOptions options;
  HttpHandler handler;
  asio::io_context acceptIoc;
  asio::io_context connectionIoc;  // owns the connection sockets; never run: their I/O is blocking
  tcp::acceptor acceptor{acceptIoc};
  std::thread acceptThread;
  std::thread watchdog;
  std::condition_variable watchdogWake;
  mutable std::mutex mutex;
  std::list<std::shared_ptr<Connection>> connections;
  std::atomic<bool> stopping{false};
  std::uint16_t port = 0;

  void AcceptNext();
  void Serve(Connection& conn);
  void ReapFinished();
  void Watch();
};

void HttpServer::Impl::ReapFinished() {
  for (auto it = connections.begin(); it != connections.end();) {
    if ((*it)->done) {
      (*it)->thread.join();
      it = connections.erase(it);
    } else {
      ++it;
    }
  }
}

void HttpServer::Impl::AcceptNext() {
  acceptor.async_accept(connectionIoc, [this](boost::system::error_code ec, tcp::socket socket) {
    if (ec || stopping) return;  // the listener was closed
    std::lock_guard lock(mutex);
    ReapFinished();
    if (static_cast<int>(connections.size()) >= options.maxConnections) {
      log::Verbose("http: too many connections, closing one from ", PeerAddress(socket));
      boost::system::error_code ignored;
      socket.close(ignored);
    } else {
      socket.set_option(tcp::no_delay(true), ec);
      auto conn = std::make_shared<Connection>(std::move(socket));
      connections.push_back(conn);
      conn->thread = std::thread([this, conn] {
        Serve(*conn);
        conn->done = true;
      });
    }
    AcceptNext();
  });
}

void HttpServer::Impl::Watch() {
  std::unique_lock lock(mutex);
  while (!stopping) {
    watchdogWake.wait_for(lock, std::chrono::milliseconds(200));
    const auto now = Clock::now();
    for (auto& conn : connections) {
      if (conn->done) continue;
      const auto steps = conn->steps.load(std::memory_order_acquire);
      if (steps != conn->seenSteps) {
        conn->seenSteps = steps;
        conn->seenSince = now;
        continue;
      }
      // A handler may wait for a person as long as it takes; reading and writing may not.
      const auto phase = conn->phase.load(std::memory_order_relaxed);
      if (phase == Connection::Phase::Handling) continue;
      const auto limit = phase == Connection::Phase::Reading ? options.idleTimeout : std::chrono::seconds(30);
      if (now - conn->seenSince > limit) conn->ShutDown();
    }
  }
}

void HttpServer::Impl::Serve(Connection& conn) {
  const std::string peer = PeerAddress(conn.socket);
  beast::flat_buffer buffer;
  while (!stopping) {
    http::request_parser<http::string_body> parser;
    parser.header_limit(16 * 1024);
    parser.body_limit(64 * 1024);  // bodies are not used; a large one ends the connection
    boost::system::error_code ec;
    conn.Enter(Connection::Phase::Reading);
    http::read(conn.socket, buffer, parser, ec);
    if (ec || stopping) break;
    conn.Enter(Connection::Phase::Handling);

    const auto& req = parser.get();
    const bool keepAlive = req.keep_alive();
    http::response<http::string_body> res;
    try {
      const HttpReply reply =
          handler(peer, DecodeQueryParams(std::string_view(req.target().data(), req.target().size())));
      res = MakeResponse(http::status::ok, reply.kind == HttpReply::Kind::Body ? reply.body : std::string(),
                         req.version(), keepAlive);
    } catch (const std::exception& e) {
      log::Verbose("http ", peer, ": error: ", e.what());
      res = MakeResponse(http::status::internal_server_error, e.what(), req.version(), keepAlive);
    } catch (...) {
      res = MakeResponse(http::status::internal_server_error, "Internal error", req.version(), keepAlive);
    }

    conn.Enter(Connection::Phase::Writing);
    http::write(conn.socket, res, ec);
    if (ec || !keepAlive) break;
  }
  conn.Close();
}

HttpServer::HttpServer(HttpServerOptions options, HttpHandler handler) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->handler = std::move(handler);
}

HttpServer::~HttpServer() {
  Stop();
}

void HttpServer::Start() {
  auto& im = *impl_;
  im.acceptIoc.restart();
  const tcp::endpoint endpoint(asio::ip::make_address(im.options.address), im.options.port);
  im.acceptor.open(endpoint.protocol());
  im.acceptor.set_option(asio::socket_base::reuse_address(true));
  im.acceptor.bind(endpoint);
  im.acceptor.listen(asio::socket_base::max_listen_connections);
  im.port = im.acceptor.local_endpoint().port();
  im.stopping = false;
  im.AcceptNext();
  im.acceptThread = std::thread([&im] { im.acceptIoc.run(); });
  im.watchdog = std::thread([&im] { im.Watch(); });
}

void HttpServer::Stop() {
  auto& im = *impl_;
  if (!im.acceptThread.joinable()) return;
  im.stopping = true;
  asio::post(im.acceptIoc, [&im] {
    boost::system::error_code ignored;
    im.acceptor.close(ignored);
  });
  im.acceptThread.join();
  std::list<std::shared_ptr<Connection>> connections;
  {
    std::lock_guard lock(im.mutex);
    connections.swap(im.connections);
  }
  im.watchdogWake.notify_all();
  im.watchdog.join();
  for (auto& conn : connections) conn->ShutDown();
  for (auto& conn : connections) conn->thread.join();
}

std::uint16_t HttpServer::Port() const {
  return impl_->port;
}

int HttpServer::ActiveConnections() const {
  std::lock_guard lock(impl_->mutex);
  int n = 0;
  for (const auto& conn : impl_->connections) n += conn->done ? 0 : 1;
  return n;
}

}  // namespace fernpad::net
