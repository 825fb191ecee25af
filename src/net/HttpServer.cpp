#include "net/HttpServer.h"

#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
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

// One connection: its own io_context, run only by its own thread, so reads and writes can carry timeouts
// while the handler itself runs synchronously on that thread.
struct Connection {
  asio::io_context ioc;
  std::unique_ptr<beast::tcp_stream> stream;
  std::thread thread;
  std::atomic<bool> done{false};
};

struct HttpServer::Impl {
  HttpServerOptions options;
  HttpHandler handler;
  asio::io_context acceptIoc;
  tcp::acceptor acceptor{acceptIoc};
  std::thread acceptThread;
  mutable std::mutex mutex;
  std::list<std::shared_ptr<Connection>> connections;
  std::atomic<bool> stopping{false};
  std::uint16_t port = 0;

  void AcceptNext();
  void Serve(const std::shared_ptr<Connection>& conn);
  void ReapFinished();
  // Runs conn's io_context until the one pending operation has completed.
  static void RunOne(Connection& conn) {
    conn.ioc.restart();
    conn.ioc.run();
  }
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
  auto conn = std::make_shared<Connection>();
  acceptor.async_accept(conn->ioc, [this, conn](boost::system::error_code ec, tcp::socket socket) {
    if (ec || stopping) return;  // the listener was closed
    std::lock_guard lock(mutex);
    ReapFinished();
    if (static_cast<int>(connections.size()) >= options.maxConnections) {
      log::Verbose("http: too many connections, closing one from ", PeerAddress(socket));
      boost::system::error_code ignored;
      socket.close(ignored);
    } else {
      socket.set_option(tcp::no_delay(true), ec);
      conn->stream = std::make_unique<beast::tcp_stream>(std::move(socket));
      connections.push_back(conn);
      conn->thread = std::thread([this, conn] {
        Serve(conn);
        conn->done = true;
      });
    }
    AcceptNext();
  });
}

void HttpServer::Impl::Serve(const std::shared_ptr<Connection>& conn) {
  beast::tcp_stream& stream = *conn->stream;
  const std::string peer = PeerAddress(stream.socket());
  beast::flat_buffer buffer;
  while (!stopping) {
    http::request_parser<http::string_body> parser;
    parser.header_limit(16 * 1024);
    parser.body_limit(64 * 1024);  // bodies are not used; a large one ends the connection
    boost::system::error_code ec;
    stream.expires_after(options.idleTimeout);
    http::async_read(stream, buffer, parser, [&](boost::system::error_code e, std::size_t) { ec = e; });
    RunOne(*conn);
    if (ec || stopping) break;

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

    stream.expires_after(std::chrono::seconds(30));
    http::async_write(stream, res, [&](boost::system::error_code e, std::size_t) { ec = e; });
    RunOne(*conn);
    if (ec || !keepAlive) break;
  }
  boost::system::error_code ignored;
  stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
  stream.socket().close(ignored);
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
  const tcp::endpoint endpoint(asio::ip::make_address(im.options.address), im.options.port);
  im.acceptor.open(endpoint.protocol());
  im.acceptor.set_option(asio::socket_base::reuse_address(true));
  im.acceptor.bind(endpoint);
  im.acceptor.listen(asio::socket_base::max_listen_connections);
  im.port = im.acceptor.local_endpoint().port();
  im.stopping = false;
  im.AcceptNext();
  im.acceptThread = std::thread([&im] { im.acceptIoc.run(); });
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
  for (auto& conn : connections) {
    asio::post(conn->ioc, [conn] {
      boost::system::error_code ignored;
      conn->stream->socket().cancel(ignored);
    });
  }
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
