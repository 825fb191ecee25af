#include "web/WebServer.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include "core/Log.h"
#include "net/ConnectionThreads.h"
#include "net/RequestScreen.h"
#include "web/WebAccess.h"
#include "web/WebMessages.h"
#include "web/WebPage.h"

namespace fernpad::web {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using net::Clock;
using net::Connection;

namespace {

// The phases of a connection, for the watchdog.
enum Phase : int { kRequest, kHandling, kWriting, kSocket };

using Request = http::request<http::empty_body>;

std::string_view View(beast::string_view s) {
  return {s.data(), s.size()};
}

http::response<http::string_body> Response(http::status status, const Request& req, std::string body,
                                           std::string_view contentType) {
  http::response<http::string_body> res{status, req.version()};
  res.set(http::field::content_type, contentType);
  res.set("X-Content-Type-Options", "nosniff");
  res.set(http::field::cache_control, "no-store");
  res.body() = std::move(body);
  res.keep_alive(status == http::status::ok && req.keep_alive());
  res.prepare_payload();
  return res;
}

http::response<http::string_body> Refusal(http::status status, const Request& req) {
  return Response(status, req, std::string(http::obsolete_reason(status)) + "\n", "text/plain");
}

}  // namespace

struct WebServer::Impl {
  WebServerOptions options;
  WebHandlers handlers;
  std::unique_ptr<net::ConnectionThreads> threads;

  void Serve(Connection& conn);
  // Serves an open socket until it ends.
  void ServeSocket(Connection& conn, Request& req);
  // The answer to a plain request; keep-alive as it says.
  http::response<http::string_body> Answer(const Request& req);
  std::optional<Clock::duration> Timeout(const Connection& conn, int phase) const {
    switch (phase) {
      case kHandling:
        return std::nullopt;  // may wait for a person
      case kWriting:
        return std::chrono::seconds(30);
      case kSocket:
        return options.socketIdleTimeout;
      default:
        return conn.trusted ? options.idleTimeout : options.untrustedIdleTimeout;
    }
  }
};

http::response<http::string_body> WebServer::Impl::Answer(const Request& req) {
  net::RequestOrigin origin;
  origin.method = View(req.method_string());
  auto take = [&](auto name, bool& has, std::string_view& value) {
    const auto it = req.find(name);
    has = it != req.end();
    if (has) value = View(it->value());
  };
  take(http::field::host, origin.hasHost, origin.host);
  take(http::field::origin, origin.hasOrigin, origin.origin);
  // The page is opened from a QR code or a link as often as typed: where it came from does not matter for
  // a page that carries no secret and does nothing until its own socket is admitted.
  if (const int refused = net::ScreenRequest(origin, options.hostNames)) {
    auto res = Refusal(static_cast<http::status>(refused), req);
    if (refused == 405) res.set(http::field::allow, "GET");
    return res;
  }
  const std::string_view target = View(req.target());
  if (target != "/" && target.substr(0, 2) != "/?") return Refusal(http::status::not_found, req);
  auto res = Response(http::status::ok, req, std::string(PageHtml()), "text/html; charset=utf-8");
  // The page runs its own inline script, talks to its own socket and is shown in no other page's frame.
  res.set("Content-Security-Policy",
          "default-src 'none'; script-src 'unsafe-inline'; style-src 'unsafe-inline'; img-src blob:; "
          "connect-src ws://" +
              std::string(origin.host) + "; frame-ancestors 'none'; base-uri 'none'; form-action 'none'");
  res.set("X-Frame-Options", "DENY");
  res.set("Referrer-Policy", "no-referrer");
  return res;
}

void WebServer::Impl::Serve(Connection& conn) {
  const std::string& peer = conn.peer;
  beast::flat_buffer buffer;
  while (!threads->Stopping()) {
    http::request_parser<http::empty_body> parser;
    parser.header_limit(8 * 1024);
    boost::system::error_code ec;
    conn.Enter(kRequest);
    http::read(conn.socket, buffer, parser, ec);
    if (ec || threads->Stopping()) break;  // unreadable, closed or timed out: nobody to answer
    Request req = parser.release();

    conn.Enter(kHandling);
    if (!handlers.mayLoadPage(peer)) {
      log::Verbose("web ", peer, ": denied, closing");
      break;
    }
    if (websocket::is_upgrade(req)) {
      ServeSocket(conn, req);
      break;
    }
    auto res = Answer(req);
    conn.Enter(kWriting);
    http::write(conn.socket, res, ec);
    if (ec || !res.keep_alive()) break;
  }
}

void WebServer::Impl::ServeSocket(Connection& conn, Request& req) {
  const std::string& peer = conn.peer;
  Handshake h;
  h.target = View(req.target());
  auto take = [&](auto name, bool& has, std::string_view& value) {
    const auto it = req.find(name);
    has = it != req.end();
    if (has) value = View(it->value());
  };
  take(http::field::host, h.hasHost, h.host);
  take(http::field::origin, h.hasOrigin, h.origin);
  take("Sec-Fetch-Site", h.hasFetchSite, h.fetchSite);
  int refused = ScreenHandshake(h, options.token, options.hostNames);
  if (!refused && !handlers.admit(peer)) refused = 403;
  boost::system::error_code ec;
  if (refused) {
    log::Verbose("web ", peer, ": socket refused with ", refused, " Origin: ", req[http::field::origin]);
    auto res = Refusal(static_cast<http::status>(refused), req);
    res.keep_alive(false);
    conn.Enter(kWriting);
    http::write(conn.socket, res, ec);
    return;
  }

  websocket::stream<tcp::socket&> ws(conn.socket);
  ws.read_message_max(kMaxMessage);
  ws.auto_fragment(false);
  conn.Enter(kWriting);
  ws.accept(req, ec);
  if (ec) return;
  log::Verbose("web ", peer, ": socket open");
  beast::flat_buffer buffer;
  while (!threads->Stopping()) {
    conn.Enter(kSocket);
    buffer.clear();
    ws.read(buffer, ec);
    if (ec) break;  // closed, too long, timed out
    if (!ws.got_text()) {
      ws.close(websocket::close_code::unknown_data, ec);
      break;
    }
    conn.Enter(kHandling);
    const std::string message = beast::buffers_to_string(buffer.data());
    WebReply reply;
    try {
      reply = handlers.message(peer, message);
    } catch (const std::exception& e) {
      log::Verbose("web ", peer, ": error: ", e.what(), " in ", message);
      continue;
    }
    if (!reply.binary.empty()) {
      conn.Enter(kWriting);
      ws.binary(true);
      ws.write(asio::buffer(reply.binary), ec);
      if (ec) break;
    }
    if (reply.close) {
      conn.Enter(kWriting);
      ws.close(websocket::close_code::policy_error, ec);
      break;
    }
  }
  log::Verbose("web ", peer, ": socket closed");
}

WebServer::WebServer(WebServerOptions options, WebHandlers handlers) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  if (impl_->options.hostNames.empty()) {
    boost::system::error_code ec;
    const std::string name = asio::ip::host_name(ec);
    if (!ec && !name.empty()) impl_->options.hostNames = {name, name + ".local"};
  }
  impl_->handlers = std::move(handlers);
  auto& im = *impl_;
  const net::ConnectionLimits limits{im.options.maxConnections, im.options.trusted, im.options.maxPerPeer,
                                     im.options.maxUntrusted, im.options.maxUntrustedPerPeer};
  im.threads = std::make_unique<net::ConnectionThreads>(
      "web", limits, [&im](Connection& conn) { im.Serve(conn); },
      [&im](const Connection& conn, int phase) { return im.Timeout(conn, phase); });
}

WebServer::~WebServer() {
  Stop();
}

void WebServer::Start() {
  impl_->threads->Start(impl_->options.address, impl_->options.port);
}

void WebServer::Close() {
  impl_->threads->Close();
}

void WebServer::Stop() {
  impl_->threads->Stop();
}

std::uint16_t WebServer::Port() const {
  return impl_->threads->Port();
}

const std::string& WebServer::Token() const {
  return impl_->options.token;
}

}  // namespace fernpad::web
