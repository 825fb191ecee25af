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
#include "net/RequestScreen.h"

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

http::response<http::string_body> MakeResponse(http::status status, std::string body,
                                               std::string_view contentType, unsigned version,
                                               bool keepAlive) {
  http::response<http::string_body> res{status, version};
  res.set(http::field::content_type, contentType);
  // Browsers must take every reply for what it says it is, never for a page.
  res.set("X-Content-Type-Options", "nosniff");
  res.body() = std::move(body);
  res.keep_alive(keepAlive);
  res.prepare_payload();
  return res;
}

http::response<http::string_body> PlainResponse(http::status status, unsigned version, bool keepAlive) {
  std::string reason(http::obsolete_reason(status));
  return MakeResponse(status, reason + "\n", "text/plain", version, keepAlive);
}

// The answer to a request that could not be read: 0 when there is nobody left to answer (the peer closed
// or went quiet, the server stops).
http::status ReadFailureStatus(const boost::system::error_code& ec) {
  if (ec == http::error::header_limit) return http::status::request_header_fields_too_large;
  if (ec == http::error::body_limit) return http::status::payload_too_large;
  if (ec == http::error::end_of_stream || ec == http::error::partial_message) return http::status::unknown;
  if (ec.category() == http::make_error_code(http::error::bad_method).category())
    return http::status::bad_request;
  return http::status::unknown;
}

RequestOrigin OriginOf(const http::request<http::string_body>& req) {
  RequestOrigin r;
  r.method = std::string_view(req.method_string().data(), req.method_string().size());
  auto take = [&](auto name, bool& has, std::string_view& value) {
    const auto it = req.find(name);
    has = it != req.end();
    if (has) value = std::string_view(it->value().data(), it->value().size());
  };
  take(http::field::host, r.hasHost, r.host);
  take(http::field::origin, r.hasOrigin, r.origin);
  take("Sec-Fetch-Site", r.hasFetchSite, r.fetchSite);
  return r;
}

}  // namespace

// One connection, served with blocking reads and writes on its own thread (the fastest way here). Timeouts
// come from the server's watchdog: the connection only records which phase it is in (no clock read per
// request); the watchdog notices a phase that has not changed for longer than its timeout and shuts the
// socket down, which ends a blocked read or write at once.
struct Connection {
  enum class Phase { Reading, Handling, Writing };

  Connection(tcp::socket s, std::string p, bool t) : socket(std::move(s)), peer(std::move(p)), trusted(t) {}
  tcp::socket socket;
  const std::string peer;
  const bool trusted;     // when it connected
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
  // Why a new connection from peer may not be served now (empty: it may). Under mutex.
  const char* Refusal(const std::string& peer, bool trusted) const;
  void Serve(Connection& conn);
  // After an error reply: reads and drops what the peer still sends (a bounded amount, until it closes or
  // the read times out), so that closing with unread input does not reset the connection before the peer
  // has read the reply.
  void Linger(Connection& conn);
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

const char* HttpServer::Impl::Refusal(const std::string& peer, bool trusted) const {
  int total = 0, untrusted = 0, samePeer = 0;
  for (const auto& conn : connections) {
    if (conn->done) continue;
    ++total;
    untrusted += conn->trusted ? 0 : 1;
    samePeer += conn->peer == peer ? 1 : 0;
  }
  if (total >= options.maxConnections) return "too many connections";
  if (trusted) return samePeer >= options.maxPerPeer ? "too many connections from this peer" : nullptr;
  if (untrusted >= options.maxUntrusted) return "too many connections from peers not allowed";
  if (samePeer >= options.maxUntrustedPerPeer) return "too many connections from this peer";
  return nullptr;
}

void HttpServer::Impl::AcceptNext() {
  acceptor.async_accept(connectionIoc, [this](boost::system::error_code ec, tcp::socket socket) {
    if (ec || stopping) return;  // the listener was closed
    std::string peer = PeerAddress(socket);
    const bool trusted = !options.trusted || options.trusted(peer);
    std::lock_guard lock(mutex);
    ReapFinished();
    if (const char* refusal = Refusal(peer, trusted)) {
      log::Verbose("http: ", refusal, ", closing one from ", peer);
      boost::system::error_code ignored;
      socket.close(ignored);
    } else {
      socket.set_option(tcp::no_delay(true), ec);
      auto conn = std::make_shared<Connection>(std::move(socket), std::move(peer), trusted);
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
      const auto idle = conn->trusted ? options.idleTimeout : options.untrustedIdleTimeout;
      const auto limit = phase == Connection::Phase::Reading ? idle : std::chrono::seconds(30);
      if (now - conn->seenSince > limit) conn->ShutDown();
    }
  }
}

void HttpServer::Impl::Serve(Connection& conn) {
  const std::string& peer = conn.peer;
  beast::flat_buffer buffer;
  while (!stopping) {
    http::request_parser<http::string_body> parser;
    parser.header_limit(16 * 1024);
    parser.body_limit(64 * 1024);  // bodies are not used
    boost::system::error_code ec;
    conn.Enter(Connection::Phase::Reading);
    http::read(conn.socket, buffer, parser, ec);
    if (stopping) break;
    if (ec) {
      const http::status status = ReadFailureStatus(ec);
      if (status != http::status::unknown) {
        log::Verbose("http ", peer, ": unreadable request (", ec.message(), "), answering ", int(status));
        conn.Enter(Connection::Phase::Writing);
        auto res = PlainResponse(status, 11, false);
        http::write(conn.socket, res, ec);
        if (!ec) Linger(conn);
      }
      break;
    }
    conn.Enter(Connection::Phase::Handling);

    const auto& req = parser.get();
    const std::string_view target(req.target().data(), req.target().size());
    bool keepAlive = req.keep_alive();
    http::response<http::string_body> res;
    if (const int refused = ScreenRequest(OriginOf(req), options.hostNames)) {
      log::Verbose("http ", peer, ": refused with ", refused, ": ", req.method_string(), " ", target,
                   " Host: ", req[http::field::host], " Origin: ", req[http::field::origin],
                   " Sec-Fetch-Site: ", req["Sec-Fetch-Site"]);
      keepAlive = false;
      res = PlainResponse(static_cast<http::status>(refused), req.version(), keepAlive);
      if (refused == 405) res.set(http::field::allow, "GET");
    } else {
      try {
        const HttpReply reply = handler(peer, DecodeQueryParams(target));
        keepAlive = keepAlive && !reply.close;
        res = MakeResponse(http::status::ok, reply.kind == HttpReply::Kind::Body ? reply.body : std::string(),
                           reply.contentType, req.version(), keepAlive);
      } catch (const std::exception& e) {
        log::Verbose("http ", peer, ": error: ", e.what(), " in ", target);
        res = MakeResponse(http::status::internal_server_error, e.what(), "text/plain", req.version(),
                           keepAlive);
      } catch (...) {
        res = MakeResponse(http::status::internal_server_error, "Internal error", "text/plain", req.version(),
                           keepAlive);
      }
    }

    conn.Enter(Connection::Phase::Writing);
    http::write(conn.socket, res, ec);
    if (ec || !keepAlive) break;
  }
  conn.Close();
}

void HttpServer::Impl::Linger(Connection& conn) {
  boost::system::error_code ec;
  conn.socket.shutdown(tcp::socket::shutdown_send, ec);
  conn.Enter(Connection::Phase::Reading);
  char scratch[16 * 1024];
  std::size_t dropped = 0;
  while (!ec && !stopping && dropped < 1024 * 1024)
    dropped += conn.socket.read_some(asio::buffer(scratch), ec);
}

HttpServer::HttpServer(HttpServerOptions options, HttpHandler handler) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  if (impl_->options.hostNames.empty()) {
    boost::system::error_code ec;
    const std::string name = asio::ip::host_name(ec);
    if (!ec && !name.empty()) impl_->options.hostNames = {name, name + ".local"};
  }
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
