#include "net/UdpServer.h"

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "core/Log.h"

namespace fernpad::net {

namespace asio = boost::asio;
using udp = asio::ip::udp;

namespace {

// Datagrams read in one go before the thread goes back to waiting: enough to spare the wait under load,
// few enough that Stop() is seen soon.
constexpr int kBatch = 64;

}  // namespace

struct UdpServer::Impl {
  UdpServerOptions options;
  UdpHandler handler;
  asio::io_context ioc;
  udp::socket socket{ioc};
  std::mutex answerMutex;
  udp::socket answerSocket{ioc};  // sends only; never waited on
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::uint16_t port = 0;
  std::vector<std::uint8_t> buffer;
  // The last sender's address and its text: a handheld sends many datagrams in a row, so the text is made
  // once per change of sender instead of once per datagram.
  std::uint32_t lastSender = 0;
  std::string lastSenderText;

  void WaitNext();
  void Drain();
  void Deliver(const udp::endpoint& from, std::size_t size);
};

void UdpServer::Impl::WaitNext() {
  socket.async_wait(udp::socket::wait_read, [this](boost::system::error_code ec) {
    if (ec || stopping) return;  // the socket was closed
    Drain();
    WaitNext();
  });
}

void UdpServer::Impl::Drain() {
  if (options.runStarted) options.runStarted();
  struct RunEnd {
    const std::function<void()>& ended;
    ~RunEnd() {
      if (ended) ended();
    }
  } end{options.runEnded};
  for (int i = 0; i < kBatch && !stopping; ++i) {
    udp::endpoint from;
    boost::system::error_code ec;
    const std::size_t size = socket.receive_from(asio::buffer(buffer), from, 0, ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) return;
    if (ec) {
      log::Verbose("udp: receive failed: ", ec.message());
      return;
    }
    Deliver(from, size);
  }
}

void UdpServer::Impl::Deliver(const udp::endpoint& from, std::size_t size) {
  if (!from.address().is_v4()) return;
  const std::uint32_t sender = from.address().to_v4().to_uint();
  if (sender != lastSender || lastSenderText.empty()) {
    lastSender = sender;
    lastSenderText = from.address().to_v4().to_string();
  }
  try {
    handler(lastSenderText, std::span<const std::uint8_t>(buffer.data(), size));
  } catch (const std::exception& e) {
    log::Verbose("udp ", lastSenderText, ": error: ", e.what());
  } catch (...) {
    log::Verbose("udp ", lastSenderText, ": error");
  }
}

UdpServer::UdpServer(UdpServerOptions options, UdpHandler handler) : impl_(std::make_unique<Impl>()) {
  impl_->options = std::move(options);
  impl_->handler = std::move(handler);
  impl_->buffer.resize(std::max<std::size_t>(impl_->options.maxDatagram, 1));
}

UdpServer::~UdpServer() {
  Stop();
}

void UdpServer::Start() {
  try {
    Open();
  } catch (const boost::system::system_error& e) {
    throw std::system_error(e.code(), "UDP port " + std::to_string(impl_->options.port));  // as for TCP
  }
}

void UdpServer::Open() {
  auto& im = *impl_;
  const udp::endpoint endpoint(asio::ip::make_address_v4(im.options.address), im.options.port);
  im.socket.open(udp::v4());
  im.socket.set_option(asio::socket_base::broadcast(true));
  boost::system::error_code ignored;
  // Room for a burst of moves while a datagram is being handled (the OS may grant less).
  im.socket.set_option(asio::socket_base::receive_buffer_size(1 << 20), ignored);
  im.socket.bind(endpoint);
  im.socket.non_blocking(true);
  im.port = im.socket.local_endpoint().port();
  im.answerSocket.open(udp::v4());
  im.stopping = false;
  im.WaitNext();
  im.thread = std::thread([&im] { im.ioc.run(); });
}

void UdpServer::Stop() {
  auto& im = *impl_;
  if (!im.thread.joinable()) return;
  im.stopping = true;
  asio::post(im.ioc, [&im] {
    boost::system::error_code ignored;
    im.socket.close(ignored);
  });
  im.thread.join();
  std::lock_guard lock(im.answerMutex);
  boost::system::error_code ignored;
  im.answerSocket.close(ignored);
}

std::uint16_t UdpServer::Port() const {
  return impl_->port;
}

void UdpServer::SendAnswer(const std::string& peer, std::string_view bytes) {
  auto& im = *impl_;
  boost::system::error_code ec;
  const auto address = asio::ip::make_address_v4(peer, ec);
  if (!ec) {
    std::lock_guard lock(im.answerMutex);
    im.answerSocket.send_to(asio::buffer(bytes.data(), bytes.size()),
                            udp::endpoint(address, im.options.answerPort), 0, ec);
  }
  if (ec) throw std::system_error(ec, "udp answer to " + peer);
}

}  // namespace fernpad::net
