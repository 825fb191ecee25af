#include "net/HttpServer.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <limits>

#include "core/Log.h"
#include "net/ConnectionThreads.h"
#include "net/QueryParams.h"
#include "net/RequestScreen.h"

namespace fernpad::net {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

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

// The phases of a connection, for the watchdog.
enum Phase : int { kReading, kHandling, kWriting };

struct HttpServer::Impl {
  HttpServerOptions options;
  HttpHandler handler;
  std::unique_ptr<ConnectionThreads> threads;

  void Serve(Connection& conn);
  // After an error reply: reads and drops what the peer still sends (a bounded amount, until it closes or
  // the read times out), so that closing with unread input does not reset the connection before the peer
  // has read the reply.
  void Linger(Connection& conn);
  bool Stopping() const { return threads->Stopping(); }
  // A handler may wait for a person as long as it takes; reading and writing may not.
  std::optional<Clock::duration> Timeout(const Connection& conn, int phase) const {
    if (phase == kHandling) return std::nullopt;
    if (phase == kWriting) return std::chrono::seconds(30);
    return conn.trusted ? options.idleTimeout : options.untrustedIdleTimeout;
  }
};

void HttpServer::Impl::Serve(Connection& conn) {
  const std::string& peer = conn.peer;
  beast::flat_buffer buffer;
  while (!Stopping()) {
    http::request_parser<http::string_body> parser;
    parser.header_limit(16 * 1024);
    parser.body_limit(64 * 1024);  // bodies are not used
    boost::system::error_code ec;
    conn.Enter(kReading);
    http::read(conn.socket, buffer, parser, ec);
    if (Stopping()) break;
    if (ec) {
      const http::status status = ReadFailureStatus(ec);
      if (status != http::status::unknown) {
        log::Verbose("http ", peer, ": unreadable request (", ec.message(), "), answering ", int(status));
        conn.Enter(kWriting);
        auto res = PlainResponse(status, 11, false);
        http::write(conn.socket, res, ec);
        if (!ec) Linger(conn);
      }
      break;
    }
    conn.Enter(kHandling);

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

    conn.Enter(kWriting);
    http::write(conn.socket, res, ec);
    if (ec || !keepAlive) break;
  }
}

void HttpServer::Impl::Linger(Connection& conn) {
  boost::system::error_code ec;
  conn.socket.shutdown(tcp::socket::shutdown_send, ec);
  conn.Enter(kReading);
  char scratch[16 * 1024];
  std::size_t dropped = 0;
  while (!ec && !Stopping() && dropped < 1024 * 1024)
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
  auto& im = *impl_;
  const ConnectionLimits limits{im.options.maxConnections, im.options.trusted, im.options.maxPerPeer,
                                im.options.maxUntrusted, im.options.maxUntrustedPerPeer};
  im.threads = std::make_unique<ConnectionThreads>(
      "http", limits, [&im](Connection& conn) { im.Serve(conn); },
      [&im](const Connection& conn, int phase) { return im.Timeout(conn, phase); });
}

HttpServer::~HttpServer() {
  Stop();
}

void HttpServer::Start() {
  impl_->threads->Start(impl_->options.address, impl_->options.port);
}

void HttpServer::Stop() {
  impl_->threads->Stop();
}

std::uint16_t HttpServer::Port() const {
  return impl_->threads->Port();
}

int HttpServer::ActiveConnections() const {
  return impl_->threads->ActiveConnections();
}

}  // namespace fernpad::net
