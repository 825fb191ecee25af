#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace fernpad::net {

// Called for every datagram, one at a time and in arrival order, on the endpoint's receiving thread, with
// the sender's IPv4 address (dotted) and the datagram's bytes (valid only during the call). An exception is
// swallowed; the next datagram is handled normally.
using UdpHandler = std::function<void(const std::string& peer, std::span<const std::uint8_t> data)>;

struct UdpServerOptions {
  std::string address = "0.0.0.0";   // all local IPv4 addresses; broadcasts are received there
  std::uint16_t port = 12770;        // 0: any free port (tests)
  std::uint16_t answerPort = 12771;  // answers go to the sender's address on this port
  std::size_t maxDatagram = 8192;    // longer datagrams arrive cut to this length
  // Run on the receiving thread around each run of datagrams read without waiting (up to a batch, or until
  // none is left): the handler's work may be sent out together at the end.
  std::function<void()> runStarted;
  std::function<void()> runEnded;
};

// The datagram endpoint: one receiving thread hands each datagram to the handler and waits for it before
// taking the next, so the handler never runs twice at once. Answers go out from a socket of their own to
// the sender's address on the answer port, never to the datagram's source port.
class UdpServer {
 public:
  UdpServer(UdpServerOptions options, UdpHandler handler);
  ~UdpServer();  // stops
  UdpServer(const UdpServer&) = delete;
  UdpServer& operator=(const UdpServer&) = delete;

  // Binds and starts receiving; throws std::system_error when the port cannot be bound.
  void Start();
  // Stops receiving and joins the receiving thread. A handler that is running is waited for; datagrams
  // still queued are not handled. Safe to call more than once, also before Start, but not from the handler.
  void Stop();
  // The bound port (after Start).
  std::uint16_t Port() const;

  // Sends the bytes to peer (dotted IPv4) on the answer port. Throws std::system_error when the address
  // is not a valid IPv4 address or the send fails; called from the handler, that drops the datagram.
  void SendAnswer(const std::string& peer, std::string_view bytes);

 private:
  void Open();

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace fernpad::net
