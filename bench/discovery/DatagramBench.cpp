// Datagram path load driver: code 2 moves against the fake platform, measured against a bare receive loop
// (the same endpoint with a handler that only counts) in the same run; then HTTP commands under a datagram
// flood, to show that the flood delays a command by at most about one datagram's handling.
// Usage: bench_datagrams [datagrams per round]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Loopback.h"
#include "access/AccessControl.h"
#include "discovery/DatagramCommands.h"
#include "net/UdpServer.h"
#include "platform/fake/FakePlatform.h"
#include "server/Server.h"

using namespace fernpad;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWindow = 32;                            // datagrams in flight: well within the receive queue
constexpr auto kRoundLimit = std::chrono::seconds(5);  // every loop also ends after this long

std::vector<std::uint8_t> Move(float dx, float dy) {
  std::vector<std::uint8_t> bytes{2};
  for (float f : {dx, dy}) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return bytes;
}

int Sender(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("connect");
  return fd;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()))];
}

// One endpoint on loopback whose handler is either the bare count or the datagram commands (then count).
struct Endpoint {
  explicit Endpoint(bool full) {
    settings::Options o;
    o.AllowedHosts = {"192.168.1.5", "127.0.0.1"};
    live.Load(o);
    if (full) {
      input::CommandServices services;
      services.checkAccess = [this](const std::string& peer) {
        return access.CheckAccess(peer, access::Asking::InBackground);
      };
      commands = std::make_unique<discovery::DatagramCommands>(platform, ui, live, state, services,
                                                               discovery::DatagramLink{});
    }
    net::UdpServerOptions u;
    u.address = "127.0.0.1";
    u.port = 0;
    server =
        std::make_unique<net::UdpServer>(u, [this](const std::string& peer, std::span<const std::uint8_t> d) {
          if (commands) commands->IdUDPServer1UDPRead(peer, d);
          handled.fetch_add(1, std::memory_order_release);
        });
    server->Start();
  }
  FakePlatform platform;
  NullUi ui;
  settings::LiveSettings live;
  access::AccessControl access{live, ui};
  input::InputState state{platform};
  std::unique_ptr<discovery::DatagramCommands> commands;
  std::atomic<long> handled{0};
  std::unique_ptr<net::UdpServer> server;
};

struct Rate {
  double perSecond = 0;
  double p50us = 0;
  double p99us = 0;
};

// Throughput with kWindow datagrams in flight, then one-at-a-time round trips for the latency.
Rate Measure(bool full, int count) {
  Endpoint e(full);
  const int fd = Sender(e.server->Port());
  const auto datagram = Move(1, 0);
  long sent = 0;
  const auto start = Clock::now();
  const auto limit = start + kRoundLimit;
  while (sent < count && Clock::now() < limit) {
    while (sent - e.handled.load(std::memory_order_acquire) >= kWindow && Clock::now() < limit) {
    }
    if (send(fd, datagram.data(), datagram.size(), 0) == static_cast<ssize_t>(datagram.size())) ++sent;
  }
  while (e.handled.load() < sent && Clock::now() < limit + kRoundLimit) {
  }
  Rate r;
  r.perSecond = e.handled.load() / std::chrono::duration<double>(Clock::now() - start).count();

  std::vector<double> rtt;
  const int samples = std::max(1, count / 10);
  rtt.reserve(samples);
  const auto latencyLimit = Clock::now() + kRoundLimit;
  for (int i = 0; i < samples && Clock::now() < latencyLimit; ++i) {
    const long before = e.handled.load();
    const auto t0 = Clock::now();
    if (send(fd, datagram.data(), datagram.size(), 0) != static_cast<ssize_t>(datagram.size())) continue;
    while (e.handled.load(std::memory_order_acquire) == before && Clock::now() < latencyLimit) {
    }
    rtt.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  close(fd);
  r.p50us = Percentile(rtt, 0.5);
  r.p99us = Percentile(rtt, 0.99);
  return r;
}

// Keep-alive HTTP "a=m" requests on one connection; the latency of each.
std::vector<double> HttpLatencies(std::uint16_t port, int requests) {
  const std::string request = "GET /?x:1&y:0&a=m HTTP/1.1\r\nHost: bench\r\n\r\n";
  const int fd = fernpad::test::ConnectLoopback(port);
  std::vector<double> out;
  const auto limit = Clock::now() + kRoundLimit;
  char buf[4096];
  for (int i = 0; i < requests && Clock::now() < limit; ++i) {
    const auto t0 = Clock::now();
    if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) break;
    std::string got;
    while (true) {
      const ssize_t n = read(fd, buf, sizeof buf);
      if (n <= 0) throw std::runtime_error("http read");
      got.append(buf, static_cast<std::size_t>(n));
      const auto head = got.find("\r\n\r\n");
      if (head != std::string::npos && got.size() >= head + 5) break;
    }
    out.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  close(fd);
  return out;
}

// How long taking the input lock waits, sampled from another thread: what an HTTP command waits for the
// datagram being handled.
std::vector<double> LockWaits(input::InputState& state, int samples) {
  std::vector<double> out;
  const auto limit = Clock::now() + kRoundLimit;
  for (int i = 0; i < samples && Clock::now() < limit; ++i) {
    const auto t0 = Clock::now();
    { std::lock_guard lock(state.lock); }
    out.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return out;
}

void FloodTest(int count) {
  FakePlatform platform;
  NullUi ui;
  settings::Options o;
  o.AllowedHosts = {"127.0.0.1"};
  settings::LiveSettings live(o);
  ServerOptions options;
  options.bindAddress = "127.0.0.1";
  options.httpPort = 0;
  options.udpPort = 0;
  Server server(platform, ui, live, options);
  server.Start();

  // Each datagram's handling time, from a bare copy of the full path in this process.
  std::vector<double> handling;
  {
    Endpoint e(true);
    const auto d = Move(3, 2);
    const auto limit = Clock::now() + kRoundLimit;
    for (int i = 0; i < 20000 && Clock::now() < limit; ++i) {
      const auto t0 = Clock::now();
      e.commands->IdUDPServer1UDPRead("127.0.0.1", d);
      handling.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
  }

  const auto idle = HttpLatencies(server.HttpPort(), 2000);
  const auto idleLock = LockWaits(server.Input(), 2000);

  std::atomic<bool> stop{false};
  std::atomic<long> flooded{0};
  std::thread flood([&] {
    const int fd = Sender(server.UdpPort());
    const auto d = Move(1, 1);
    const auto limit = Clock::now() + 4 * kRoundLimit;
    for (long i = 0; i < 50L * count && !stop && Clock::now() < limit; ++i) {
      if (send(fd, d.data(), d.size(), 0) == static_cast<ssize_t>(d.size())) ++flooded;
    }
    close(fd);
  });
  const auto busy = HttpLatencies(server.HttpPort(), 2000);
  const auto busyLock = LockWaits(server.Input(), 2000);
  stop = true;
  flood.join();

  std::printf("\nHTTP commands under a datagram flood (%ld datagrams sent, %d cursor sets seen)\n",
              flooded.load(), platform.SetCursorCalls());
  std::printf("  one datagram's handling      p50 %7.2f us   p99 %7.2f us\n", Percentile(handling, 0.5),
              Percentile(handling, 0.99));
  std::printf("  HTTP a=m, no flood           p50 %7.1f us   p99 %7.1f us\n", Percentile(idle, 0.5),
              Percentile(idle, 0.99));
  std::printf("  HTTP a=m, flood              p50 %7.1f us   p99 %7.1f us\n", Percentile(busy, 0.5),
              Percentile(busy, 0.99));
  std::printf("  input lock wait, no flood    p50 %7.2f us   p99 %7.2f us   max %7.2f us\n",
              Percentile(idleLock, 0.5), Percentile(idleLock, 0.99), Percentile(idleLock, 1.0));
  std::printf("  input lock wait, flood       p50 %7.2f us   p99 %7.2f us   max %7.2f us\n",
              Percentile(busyLock, 0.5), Percentile(busyLock, 0.99), Percentile(busyLock, 1.0));
  for (double p : {0.5, 0.99}) {
    std::printf("  lock wait added by the flood at p%.0f, in datagram handlings: %.2f\n", p * 100,
                (Percentile(busyLock, p) - Percentile(idleLock, p)) / Percentile(handling, p));
  }
  std::printf(
      "  (waits beyond one handling are the kernel waking a blocked waiter or preempting a thread;\n");
  std::printf("   the HTTP latency also includes the CPU the flood takes on this machine's cores)\n");
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 100000;
  std::vector<Rate> bare, full;
  for (int round = 0; round < 3; ++round) {
    bare.push_back(Measure(false, count));
    full.push_back(Measure(true, count));
  }
  auto median = [](std::vector<Rate> rounds) {
    std::sort(rounds.begin(), rounds.end(),
              [](const Rate& a, const Rate& b) { return a.perSecond < b.perSecond; });
    return rounds[rounds.size() / 2];
  };
  const Rate b = median(bare), f = median(full);
  std::printf("Datagrams handled, %d per round, %d in flight, median of 3 rounds\n", count, kWindow);
  std::printf("  bare receive loop            %10.0f /s   round trip p50 %6.1f us   p99 %6.1f us\n",
              b.perSecond, b.p50us, b.p99us);
  std::printf("  code 2 moves, fake platform  %10.0f /s   round trip p50 %6.1f us   p99 %6.1f us\n",
              f.perSecond, f.p50us, f.p99us);
  std::printf("  rate ratio (goal >= 0.80): %.2f    added latency per datagram (p50): %.1f us\n",
              f.perSecond / b.perSecond, f.p50us - b.p50us);
  FloodTest(count);
  return 0;
}
