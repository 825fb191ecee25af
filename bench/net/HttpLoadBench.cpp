// Load driver for the HTTP command endpoint: keep-alive connections sending "a=m" moves (x:1 and x:-1 in
// turn, so the pointer stays where it is), driven by two client threads.
//
// The headline is what a person gets: the built fernpad-server, headless and without logging, on a private
// Xvfb, so every move goes to a real X server. It is measured against the simplest Beast server there is
// (thread per connection, answering " " to everything) in the same run, first for throughput, then for
// latency at 4 connections. The same server code in this process on the recording fake platform (no X
// server) follows as a second figure, with its HTTP layer alone.
// Usage: bench_http_load [connections (16)] [seconds per round (1)] [--profile SECONDS]
// --profile drives only fernpad-server, for that long, after printing its process id (to attach a profiler).
#include <sys/epoll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchMain.h"
#include "Loopback.h"
#include "ProcInfo.h"
#include "ServerProcess.h"
#include "Xvfb.h"
#include "platform/fake/FakePlatform.h"
#include "server/Server.h"

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kClientThreads = 2;
constexpr int kRounds = 5;
constexpr int kLatencyConnections = 4;

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

// Whose CPU time a run counts: the server's process (this one for the servers in it, less the client's
// threads) and the X server's, if any.
struct Processes {
  pid_t server = getpid();
  pid_t xserver = -1;
};

struct Result {
  double requestsPerSecond = 0;
  double p50us = 0;
  double p99us = 0;
  long requests = 0;
  double serverCpu = 0, xserverCpu = 0, clientCpu = 0;  // seconds
};

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One client thread: its connections each send a request, wait for the whole reply and send the next, until
// the end time and an even number of moves (the pointer is back where it was); the replies still on their
// way then are waited for (at most a few seconds).
void DriveConnections(std::vector<int> fds, Clock::time_point end, std::vector<double>& latencies,
                      Clock::time_point& lastReply) {
  static const std::string kRequests[2] = {"GET /?x:1&y:0&a=m HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
                                           "GET /?x:-1&y:0&a=m HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"};
  struct Conn {
    int fd;
    unsigned sent = 0;
    Clock::time_point t0;
    std::string got;
  };
  std::vector<Conn> conns;
  for (int fd : fds) conns.push_back(Conn{fd, 0, {}, {}});
  const int ep = epoll_create1(0);
  auto send = [](Conn& c) {
    const std::string& r = kRequests[c.sent++ % 2];
    c.t0 = Clock::now();
    if (write(c.fd, r.data(), r.size()) != static_cast<ssize_t>(r.size()))
      throw std::runtime_error("request not sent");
  };
  for (std::size_t i = 0; i < conns.size(); ++i) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = i;
    epoll_ctl(ep, EPOLL_CTL_ADD, conns[i].fd, &ev);
    send(conns[i]);
  }
  std::size_t open = conns.size();
  const auto giveUp = end + std::chrono::seconds(5);
  char buf[4096];
  epoll_event events[32];
  while (open > 0) {
    if (Clock::now() > giveUp) throw std::runtime_error("replies did not come");
    const int n = epoll_wait(ep, events, 32, 100);
    for (int e = 0; e < n; ++e) {
      Conn& c = conns[events[e].data.u64];
      const ssize_t got = read(c.fd, buf, sizeof buf);
      if (got <= 0) throw std::runtime_error("the server closed a connection");
      c.got.append(buf, static_cast<std::size_t>(got));
      const std::size_t replyEnd = fernpad::test::HttpReplyEnd(c.got);
      if (replyEnd == 0) continue;
      const auto now = Clock::now();
      latencies.push_back(std::chrono::duration<double, std::micro>(now - c.t0).count());
      lastReply = now;
      c.got.erase(0, replyEnd);
      if (now < end || c.sent % 2 == 1) {
        send(c);
      } else {
        epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
        --open;
      }
    }
  }
  close(ep);
}

Result Drive(std::uint16_t port, int connections, std::chrono::milliseconds duration, Processes processes) {
  std::vector<std::vector<int>> fds(kClientThreads);
  for (int c = 0; c < connections; ++c)
    fds[c % kClientThreads].push_back(fernpad::test::ConnectLoopback(port));
  std::vector<std::vector<double>> latencies(kClientThreads);
  std::vector<Clock::time_point> lastReply(kClientThreads);
  std::vector<std::string> errors(kClientThreads);
  std::vector<double> clientCpu(kClientThreads);
  const double server0 = fernpad::test::CpuSeconds(processes.server);
  const double xserver0 = processes.xserver > 0 ? fernpad::test::CpuSeconds(processes.xserver) : 0;
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kClientThreads; ++t) {
    lastReply[t] = start;
    latencies[t].reserve(400000);
    threads.emplace_back([&, t] {
      const double cpu0 = ThreadCpuSeconds();
      try {
        DriveConnections(fds[t], start + duration, latencies[t], lastReply[t]);
      } catch (const std::exception& e) {
        errors[t] = e.what();
      }
      clientCpu[t] = ThreadCpuSeconds() - cpu0;
    });
  }
  for (auto& t : threads) t.join();
  Result r;
  for (double c : clientCpu) r.clientCpu += c;
  r.serverCpu = fernpad::test::CpuSeconds(processes.server) - server0;
  if (processes.server == getpid()) r.serverCpu = std::max(0.0, r.serverCpu - r.clientCpu);
  if (processes.xserver > 0) r.xserverCpu = fernpad::test::CpuSeconds(processes.xserver) - xserver0;
  for (auto& list : fds)
    for (int fd : list) close(fd);
  for (const auto& e : errors)
    if (!e.empty()) throw std::runtime_error(e);
  std::vector<double> all;
  for (auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  if (all.empty()) throw std::runtime_error("no request was answered");
  std::sort(all.begin(), all.end());
  const auto last = *std::max_element(lastReply.begin(), lastReply.end());
  r.requests = static_cast<long>(all.size());
  r.requestsPerSecond = all.size() / std::chrono::duration<double>(last - start).count();
  r.p50us = all[all.size() / 2];
  r.p99us = all[all.size() * 99 / 100];
  return r;
}

// The round with the median throughput, or the one with the median p50.
Result MedianRate(std::vector<Result> rounds) {
  std::sort(rounds.begin(), rounds.end(),
            [](const Result& a, const Result& b) { return a.requestsPerSecond < b.requestsPerSecond; });
  return rounds[rounds.size() / 2];
}
Result MedianLatency(std::vector<Result> rounds) {
  std::sort(rounds.begin(), rounds.end(), [](const Result& a, const Result& b) { return a.p50us < b.p50us; });
  return rounds[rounds.size() / 2];
}

// Each round's run against the bare run of the same round; the median of those ratios.
double MedianRatio(const std::vector<Result>& server, const std::vector<Result>& bare) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < server.size(); ++i)
    ratios.push_back(server[i].requestsPerSecond / bare[i].requestsPerSecond);
  std::sort(ratios.begin(), ratios.end());
  return ratios[ratios.size() / 2];
}

// CPU time per request over all rounds, in microseconds.
struct CpuPerRequest {
  double server = 0, xserver = 0, client = 0;
};
CpuPerRequest PerRequest(const std::vector<Result>& rounds) {
  CpuPerRequest c;
  long requests = 0;
  for (const auto& r : rounds) {
    c.server += r.serverCpu;
    c.xserver += r.xserverCpu;
    c.client += r.clientCpu;
    requests += r.requests;
  }
  const double scale = requests > 0 ? 1e6 / static_cast<double>(requests) : 0;
  return {c.server * scale, c.xserver * scale, c.client * scale};
}

void PrintHeading() {
  std::printf("  %-34s %9s %9s %9s   %s\n", "", "req/s", "p50 us", "p99 us",
              "CPU us per request: server, X server, client");
}

// The median round's rate and latency, and the CPU time per request over all rounds.
void Print(const char* name, const Result& r, const std::vector<Result>& rounds) {
  const CpuPerRequest c = PerRequest(rounds);
  char x[16] = "-";
  if (c.xserver > 0) std::snprintf(x, sizeof x, "%.1f", c.xserver);
  std::printf("  %-34s %9.0f %9.1f %9.1f   %6.1f %6s %6.1f\n", name, r.requestsPerSecond, r.p50us, r.p99us,
              c.server, x, c.client);
}

int Run(int argc, char** argv) {
  const fernpad::test::BenchArgs parsed = fernpad::test::ParseBenchArgs(argc, argv);
  const std::vector<std::string>& args = parsed.rest;
  const double profileSeconds = parsed.profileSeconds;
  const int connections = args.size() > 0 ? std::max(1, std::atoi(args[0].c_str())) : 16;
  const auto duration =
      std::chrono::milliseconds(args.size() > 1 ? static_cast<int>(std::atof(args[1].c_str()) * 1000) : 1000);
  const auto warmUp = std::chrono::milliseconds(300);

  // The built program as a person runs it, on a private X server.
  fernpad::test::Xvfb xvfb("1920x1080x24");
  fernpad::test::ServerProcess::Options realOptions;
  realOptions.verbose = false;
  fernpad::test::ServerProcess real(FERNPAD_SERVER_BINARY, xvfb.Display(), realOptions);
  const auto realPort = static_cast<std::uint16_t>(real.HttpPort());
  if (profileSeconds > 0) {
    std::printf("fernpad-server: process %d, Xvfb: process %d; driving it for %.0f s\n", real.Pid(),
                xvfb.Pid(), profileSeconds);
    std::fflush(stdout);
    const Result r =
        Drive(realPort, connections, std::chrono::milliseconds(static_cast<long>(profileSeconds * 1000)),
              {real.Pid(), xvfb.Pid()});
    PrintHeading();
    Print("fernpad-server, X11 on Xvfb", r, {r});
    return 0;
  }

  // The same server code in this process, on the recording fake platform.
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
  options.uploadPort = 0;
  fernpad::Server fake(platform, ui, settings, options);
  fake.Start();
  BareServer bare;
  fernpad::net::HttpServerOptions trivialOptions;
  trivialOptions.address = "127.0.0.1";
  trivialOptions.port = 0;
  fernpad::net::HttpServer trivial(trivialOptions, [](const std::string&, const std::vector<std::string>&) {
    return fernpad::net::HttpReply{fernpad::net::HttpReply::Kind::Body, " "};
  });
  trivial.Start();

  // The moves must reach the X server: one far move shows up in the pointer another client reads.
  const auto before = fernpad::test::ReadPointer(xvfb.Display());
  fernpad::test::HttpRequest(realPort, "x:40&y:30&a=m");
  const auto after = fernpad::test::ReadPointer(xvfb.Display());
  if (before == after || after.x < 0) {
    std::fprintf(stderr, "the server's moves do not reach the X server\n");
    return 1;
  }

  // Warm up, then measure in alternating rounds so every server sees the same machine; report the median
  // round of each (a busy machine moves single runs a lot).
  const Processes inProcess, realProcesses{real.Pid(), xvfb.Pid()};
  for (std::uint16_t port : {bare.Port(), realPort, fake.HttpPort(), trivial.Port()})
    Drive(port, connections, warmUp, port == realPort ? realProcesses : inProcess);
  std::vector<Result> bareRounds, realRounds, fakeRounds, trivialRounds;
  for (int round = 0; round < kRounds; ++round) {
    bareRounds.push_back(Drive(bare.Port(), connections, duration, inProcess));
    realRounds.push_back(Drive(realPort, connections, duration, realProcesses));
    fakeRounds.push_back(Drive(fake.HttpPort(), connections, duration, inProcess));
    trivialRounds.push_back(Drive(trivial.Port(), connections, duration, inProcess));
  }
  std::vector<Result> bareLatency, realLatency, fakeLatency;
  for (int round = 0; round < kRounds; ++round) {
    bareLatency.push_back(Drive(bare.Port(), kLatencyConnections, duration, inProcess));
    realLatency.push_back(Drive(realPort, kLatencyConnections, duration, realProcesses));
    fakeLatency.push_back(Drive(fake.HttpPort(), kLatencyConnections, duration, inProcess));
  }
  const auto pointerAtEnd = fernpad::test::ReadPointer(xvfb.Display());

  const Result bareP50 = MedianLatency(bareLatency), realP50 = MedianLatency(realLatency);
  std::printf(
      "HTTP \"a=m\" moves, %d keep-alive connections on %d client threads, median of %d rounds of %.1f s\n",
      connections, kClientThreads, kRounds, duration.count() / 1000.0);
  std::printf(
      "headline: fernpad-server (the built program, headless, no logging) on Xvfb, the real X11 backend\n");
  PrintHeading();
  Print("bare Beast server (\" \")", MedianRate(bareRounds), bareRounds);
  Print("fernpad-server, X11 on Xvfb", MedianRate(realRounds), realRounds);
  std::printf("  throughput ratio (fernpad-server / bare), median of rounds: %.3f   (goal >= 0.5)\n",
              MedianRatio(realRounds, bareRounds));
  std::printf("latency at %d connections, median of %d rounds:\n", kLatencyConnections, kRounds);
  Print("bare Beast server (\" \")", bareP50, bareLatency);
  Print("fernpad-server, X11 on Xvfb", realP50, realLatency);
  std::printf("  added p50 latency (fernpad-server - bare): %.1f us   (goal < 50 us)\n",
              realP50.p50us - bareP50.p50us);
  std::printf("  (the X pointer: %d,%d after a check move, %d,%d at the end)\n", after.x, after.y,
              pointerAtEnd.x, pointerAtEnd.y);

  const Result fakeP50 = MedianLatency(fakeLatency);
  std::printf(
      "\nsecond figure: the same server code in this process on the recording fake platform (no X)\n");
  PrintHeading();
  Print("fernpad server, fake platform", MedianRate(fakeRounds), fakeRounds);
  Print("its HTTP layer alone (\" \")", MedianRate(trivialRounds), trivialRounds);
  std::printf("  throughput ratio (fake platform / bare), median of rounds: %.3f\n",
              MedianRatio(fakeRounds, bareRounds));
  Print("fake platform, 4 connections", fakeP50, fakeLatency);
  std::printf("  added p50 latency at %d connections (fake platform - bare): %.1f us\n", kLatencyConnections,
              fakeP50.p50us - bareP50.p50us);
  fake.Stop();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return fernpad::test::RunBenchmark([&] { return Run(argc, argv); });
}
