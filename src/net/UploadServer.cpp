#include "net/UploadServer.h"

#include "core/Log.h"
#include "net/ConnectionThreads.h"

namespace fernpad::net {

namespace {

// The phases of a connection, for the watchdog.
enum Phase : int { kBetweenCommands, kInCommand, kWaiting };

class SocketSource final : public UploadConnection {
 public:
  explicit SocketSource(Connection& conn) : conn_(conn) {}

  void ReadExactly(std::span<std::uint8_t> into) override {
    if (conn_.Phase() == kWaiting) conn_.Enter(kInCommand);
    std::size_t got = 0;
    while (got < into.size()) {
      boost::system::error_code ec;
      got += conn_.socket.read_some(boost::asio::buffer(into.data() + got, into.size() - got), ec);
      if (ec)
        throw upload::StreamError(ec == boost::asio::error::eof ? "the peer closed the connection"
                                                                : "the connection failed: " + ec.message());
      // Every byte is progress; from the first byte of a command on, a stall is timed.
      conn_.Enter(kInCommand);
    }
  }
  void BetweenCommands() override { conn_.Enter(kBetweenCommands); }
  void WaitingForPerson() override { conn_.Enter(kWaiting); }

 private:
  Connection& conn_;
};

}  // namespace

struct UploadServer::Impl {
  UploadServerOptions options;
  UploadHandler handler;
  std::unique_ptr<ConnectionThreads> threads;

  void Serve(Connection& conn) {
    SocketSource source(conn);
    try {
      handler(conn.peer, source);
    } catch (const upload::StreamError& e) {
      log::Verbose("upload ", conn.peer, ": ", e.what());
    } catch (const std::exception& e) {
      log::Verbose("upload ", conn.peer, ": connection ended: ", e.what());
    } catch (...) {
      log::Verbose("upload ", conn.peer, ": connection ended");
    }
  }
};

UploadServer::UploadServer(UploadServerOptions options, UploadHandler handler)
    : impl_(std::make_unique<Impl>()) {
  auto& im = *impl_;
  im.options = std::move(options);
  im.handler = std::move(handler);
  const ConnectionLimits limits{im.options.maxConnections, im.options.trusted, im.options.maxPerPeer,
                                im.options.maxUntrusted, im.options.maxUntrustedPerPeer};
  im.threads = std::make_unique<ConnectionThreads>(
      "upload", limits, [&im](Connection& conn) { im.Serve(conn); },
      [&im](const Connection&, int phase) -> std::optional<Clock::duration> {
        if (phase == kWaiting) return std::nullopt;
        return phase == kBetweenCommands ? im.options.idleTimeout : im.options.stallTimeout;
      });
}

UploadServer::~UploadServer() {
  Stop();
}

void UploadServer::Start() {
  impl_->threads->Start(impl_->options.address, impl_->options.port);
}

void UploadServer::Stop() {
  impl_->threads->Stop();
}

std::uint16_t UploadServer::Port() const {
  return impl_->threads->Port();
}

int UploadServer::ActiveConnections() const {
  return impl_->threads->ActiveConnections();
}

}  // namespace fernpad::net
