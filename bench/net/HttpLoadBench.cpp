// Load driver for the HTTP command endpoint: keep-alive connections sending "a=m" moves, measured against a
// bare Beast server (thread per connection, answering " " to everything) in the same run.
// Usage: bench_http_load [connections] [seconds per server]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

#include "Loopback.h"
#include "platform/fake/FakePlatform.h"
#include "server/Server.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

// The yardstick: the simplest thread-per-connection Beast server there is.
class BareServer {
 public:
  BareServer() : acceptor_(ioc_, {asio::ip::make_address("127.0.0.1"), 0}) {
    thread_ = std::thread([this] {
      while (true) {
        tcp::socket socket(ioc_);
        boost::system::error_code ec;
        acceptor_.accept(socket, ec);
        if (ec || stop_) break;
        socket.set_option(tcp::no_delay(true));
        std::thread([s = std::move(socket)]() mutable {
          beast::flat_buffer buffer;
          boost::system::error_code e;
          while (true) {
            http::request<http::string_body> req;
            http::read(s, buffer, req, e);
            if (e) break;
            http::response<http::string_body> res{http::status::ok, req.version()};
            res.set(http::field::content_type, "text/html");
            res.body() = " ";
            res.keep_alive(req.keep_alive());
            res.prepare_payload();
            http::write(s, res, e);
            if (e) break;
          }
        }).detach();
      }
    });
  }
  ~BareServer() {
    stop_ = true;
    boost::system::error_code ec;
    tcp::socket poke(ioc_);
    poke.connect(acceptor_.local_endpoint(), ec);
    thread_.join();
  }
  std::uint16_t Port() const { return acceptor_.local_endpoint().port(); }

 private:
  asio::io_context ioc_;
  tcp::acceptor acceptor_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

struct Result {
  double requestsPerSecond = 0;
  double p50us = 0;
  double p99us = 0;
};

// Each connection sends one request, waits for the whole reply, and repeats, for the given time (at most
// maxRequests per connection).
Result Drive(std::uint16_t port, int connections, std::chrono::milliseconds duration, int maxRequests) {
  const std::string request = "GET /?x:1&y:0&a=m HTTP/1.1\r\nHost: bench\r\n\r\n";
  std::vector<std::vector<double>> latencies(connections);
  std::vector<std::thread> threads;
  std::atomic<bool> failed{false};
  const auto start = Clock::now();
  const auto end = start + duration;
  for (int c = 0; c < connections; ++c) {
    threads.emplace_back([&, c] {
      int fd = -1;
      try {
        fd = fernpad::test::ConnectLoopback(port);
      } catch (const std::exception&) {
        failed = true;
        return;
      }
      char buf[4096];
      auto& mine = latencies[c];
      mine.reserve(200000);
      for (int i = 0; i < maxRequests && Clock::now() < end; ++i) {
        const auto t0 = Clock::now();
        if (write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size())) break;
        std::string got;
        // A reply ends with its one-byte body after the blank line.
        while (true) {
          const ssize_t n = read(fd, buf, sizeof buf);
          if (n <= 0) {
            failed = true;
            break;
          }
          got.append(buf, static_cast<std::size_t>(n));
          const auto head = got.find("\r\n\r\n");
          if (head != std::string::npos && got.size() >= head + 5) break;
        }
        if (failed) break;
        mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
      }
      close(fd);
    });
  }
  for (auto& t : threads) t.join();
  if (failed) throw std::runtime_error("a request failed");
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<double> all;
  for (auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  std::sort(all.begin(), all.end());
  Result r;
  r.requestsPerSecond = all.size() / seconds;
  r.p50us = all[all.size() / 2];
  r.p99us = all[all.size() * 99 / 100];
  return r;
}

// The round with the median throughput.
Result Median(std::vector<Result> rounds) {
  std::sort(rounds.begin(), rounds.end(),
            [](const Result& a, const Result& b) { return a.requestsPerSecond < b.requestsPerSecond; });
  return rounds[rounds.size() / 2];
}

void Print(const char* name, const Result& r) {
  std::printf("%-28s %10.0f req/s   p50 %7.1f us   p99 %7.1f us\n", name, r.requestsPerSecond, r.p50us,
              r.p99us);
}

}  // namespace

int main(int argc, char** argv) {
  const int connections = argc > 1 ? std::atoi(argv[1]) : 4;
  const auto duration =
      std::chrono::milliseconds(argc > 2 ? static_cast<int>(std::atof(argv[2]) * 1000) : 2000);
  constexpr int kMaxRequestsPerConnection = 2'000'000;

  fernpad::FakePlatform platform;
  fernpad::NullUi ui;
  fernpad::settings::LiveSettings settings;
  fernpad::settings::Options allowed;
  allowed.AllowedHosts = {"192.168.1.20", "192.168.1.21", "127.0.0.1"};  // the access check runs as usual
  settings.Load(allowed);
  fernpad::ServerOptions options;
  options.bindAddress = "127.0.0.1";
  options.httpPort = 0;
  options.udpPort = 0;
  fernpad::Server server(platform, ui, settings, options);
  server.Start();
  BareServer bare;
  fernpad::net::HttpServerOptions trivialOptions;
  trivialOptions.address = "127.0.0.1";
  trivialOptions.port = 0;
  fernpad::net::HttpServer trivial(trivialOptions, [](const std::string&, const std::vector<std::string>&) {
    return fernpad::net::HttpReply{fernpad::net::HttpReply::Kind::Body, " "};
  });
  trivial.Start();

  // Warm up, then measure in alternating rounds so every server sees the same machine; report the median
  // round of each (a busy machine moves single runs a lot).
  Drive(bare.Port(), connections, std::chrono::milliseconds(300), kMaxRequestsPerConnection);
  Drive(server.HttpPort(), connections, std::chrono::milliseconds(300), kMaxRequestsPerConnection);
  constexpr int kRounds = 5;
  std::vector<Result> bareRounds, serverRounds, trivialRounds;
  for (int round = 0; round < kRounds; ++round) {
    bareRounds.push_back(Drive(bare.Port(), connections, duration, kMaxRequestsPerConnection));
    serverRounds.push_back(Drive(server.HttpPort(), connections, duration, kMaxRequestsPerConnection));
    trivialRounds.push_back(Drive(trivial.Port(), connections, duration, kMaxRequestsPerConnection));
  }
  const Result bareResult = Median(bareRounds);
  const Result serverResult = Median(serverRounds);
  const Result trivialResult = Median(trivialRounds);

  std::printf("HTTP \"a=m\" load, %d keep-alive connections, median of %d rounds of %.1f s\n", connections,
              kRounds, duration.count() / 1000.0);
  Print("bare Beast server (\" \")", bareResult);
  Print("fernpad-server (fake input)", serverResult);
  Print("its HTTP layer alone (\" \")", trivialResult);
  // Each round's server run is compared with the bare run just before it; the median of those ratios.
  std::vector<double> ratios;
  for (int round = 0; round < kRounds; ++round)
    ratios.push_back(serverRounds[round].requestsPerSecond / bareRounds[round].requestsPerSecond);
  std::sort(ratios.begin(), ratios.end());
  std::printf("throughput ratio (server / bare), median of rounds: %.3f   (goal >= 0.9)\n",
              ratios[kRounds / 2]);
  std::printf("added p50 latency: %.1f us   (goal < 20 us)\n", serverResult.p50us - bareResult.p50us);
  server.Stop();
  return 0;
}
