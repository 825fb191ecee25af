// Datagram path load driver: code 2 moves (dx 1 and -1 in turn, so the pointer stays where it is), each 16
// followed by a ping (code 8). Datagrams are handled in order, so the ping's answer shows that the moves
// before it were handled; at most two such blocks are in flight, well within the receive queue (the kernel's
// drop count is read to make sure).
//
// The headline is what a person gets: the built fernpad-server, headless and without logging, on a private
// Xvfb, so every move goes to a real X server. It is measured against a bare receive loop in this process
// (the same endpoint code with a handler that only answers the pings) in the same run. The same datagram
// commands in this process on the recording fake platform follow as a second figure; then HTTP commands
// under a datagram flood (fake platform), to show that the flood delays a command by at most about one
// datagram's handling.
// Usage: bench_datagrams [datagrams per round (100000)] [--profile SECONDS]
// --profile drives only fernpad-server, for that long, after printing its process id (to attach a profiler).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchMain.h"
#include "Loopback.h"
#include "ProcInfo.h"
#include "ServerProcess.h"
#include "Xvfb.h"
#include "access/AccessControl.h"
#include "discovery/DatagramCommands.h"
#include "net/UdpServer.h"
#include "platform/fake/FakePlatform.h"
#include "server/Server.h"

using namespace fernpad;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kBlock = 16;          // moves before each ping
constexpr int kBlocksInFlight = 2;  // 34 datagrams at most: well within the receive queue
constexpr int kRounds = 5;
constexpr auto kRoundLimit = std::chrono::seconds(5);          // every loop also ends after this long
constexpr auto kAnswerWait = std::chrono::milliseconds(1000);  // a ping unanswered for this long is lost

std::vector<std::uint8_t> Move(float dx, float dy) {
  std::vector<std::uint8_t> bytes{2};
  for (float f : {dx, dy}) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return bytes;
}
const std::vector<std::uint8_t> kPing{8};

int Sender(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) throw std::runtime_error("connect");
  return fd;
}

void Send(int fd, const std::vector<std::uint8_t>& d) {
  if (send(fd, d.data(), d.size(), 0) != static_cast<ssize_t>(d.size())) throw std::runtime_error("send");
}

// Where the pings' answers arrive: 127.0.0.1, any free port.
class Answers {
 public:
  Answers() {
    fd_ = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
      throw std::runtime_error("answer socket");
    port_ = ntohs(addr.sin_port);
  }
  ~Answers() { close(fd_); }
  std::uint16_t Port() const { return port_; }
  // Waits for one answer; false when none came in time.
  bool Wait(std::chrono::milliseconds timeout) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
    char buf[64];
    return recv(fd_, buf, sizeof buf, 0) > 0;
  }
  // Reads whatever answers are still queued.
  void Drain() {
    char buf[64];
    while (recv(fd_, buf, sizeof buf, MSG_DONTWAIT) > 0) {
    }
  }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * v.size()))];
}

// The yardstick: the endpoint with a handler that only answers the pings.
struct BareLoop {
  explicit BareLoop(std::uint16_t answerPort) {
    net::UdpServerOptions u;
    u.address = "127.0.0.1";
    u.port = 0;
    u.answerPort = answerPort;
    server =
        std::make_unique<net::UdpServer>(u, [this](const std::string& peer, std::span<const std::uint8_t> d) {
          if (!d.empty() && d[0] == 8) server->SendAnswer(peer, "ok!");
        });
    server->Start();
  }
  std::unique_ptr<net::UdpServer> server;
};

// The server code in this process on the recording fake platform.
struct FakeServer {
  explicit FakeServer(std::uint16_t answerPort)
      : live(Allowed()), server(platform, ui, live, Options(answerPort)) {
    server.Start();
  }
  static settings::Options Allowed() {
    settings::Options o;
    o.AllowedHosts = {"192.168.1.5", "127.0.0.1"};
    return o;
  }
  static ServerOptions Options(std::uint16_t answerPort) {
    ServerOptions options;
    options.bindAddress = "127.0.0.1";
    options.httpPort = 0;
    options.udpPort = 0;
    options.uploadPort = 0;
    options.udpAnswerPort = answerPort;
    return options;
  }
  FakePlatform platform;
  NullUi ui;
  settings::LiveSettings live;
  Server server;
};

// Whose CPU time a run counts: the endpoint's process (this one for the endpoints in it, less the sending
// thread) and the X server's, if any.
struct Processes {
  pid_t server = getpid();
  pid_t xserver = -1;
};

struct Rate {
  double perSecond = 0;  // moves handled
  double p50us = 0;      // a move and a ping, sent together, until the ping's answer
  double p99us = 0;
  long moves = 0;
  int lost = 0;                                         // pings not answered in time
  double serverCpu = 0, xserverCpu = 0, clientCpu = 0;  // seconds, while the moves were measured
};

double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Throughput with at most kBlocksInFlight blocks in flight, then one move and ping at a time for the latency.
Rate Measure(std::uint16_t port, Answers& answers, long count, Processes processes,
             Clock::duration limitAfter = kRoundLimit) {
  const int fd = Sender(port);
  const std::vector<std::uint8_t> moves[2] = {Move(1, 0), Move(-1, 0)};
  answers.Drain();
  Rate r;
  const double server0 = test::CpuSeconds(processes.server), client0 = ThreadCpuSeconds();
  const double xserver0 = processes.xserver > 0 ? test::CpuSeconds(processes.xserver) : 0;
  const long blocks = std::max(1L, count / kBlock);
  long sent = 0, answered = 0;
  const auto start = Clock::now();
  const auto limit = start + limitAfter;
  auto last = start;
  while (answered < blocks && Clock::now() < limit) {
    if (sent < blocks && sent - answered < kBlocksInFlight) {
      for (int i = 0; i < kBlock; ++i) Send(fd, moves[i % 2]);
      Send(fd, kPing);
      ++sent;
      continue;
    }
    if (sent == answered) break;  // the time is up
    if (answers.Wait(kAnswerWait)) {
      last = Clock::now();
    } else {
      ++r.lost;
    }
    ++answered;
  }
  r.clientCpu = ThreadCpuSeconds() - client0;
  r.serverCpu = test::CpuSeconds(processes.server) - server0;
  if (processes.server == getpid()) r.serverCpu = std::max(0.0, r.serverCpu - r.clientCpu);
  if (processes.xserver > 0) r.xserverCpu = test::CpuSeconds(processes.xserver) - xserver0;
  r.moves = answered * kBlock;
  r.perSecond = static_cast<double>(r.moves) / std::chrono::duration<double>(last - start).count();

  std::vector<double> rtt;
  const long samples = std::max(1L, count / 20);
  rtt.reserve(static_cast<std::size_t>(std::min(samples, 100000L)));
  const auto latencyLimit = Clock::now() + kRoundLimit;
  for (long i = 0; i < samples && Clock::now() < latencyLimit; ++i) {
    const auto t0 = Clock::now();
    Send(fd, moves[i % 2]);
    Send(fd, kPing);
    if (!answers.Wait(kAnswerWait)) {
      ++r.lost;
      continue;
    }
    rtt.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
  }
  close(fd);
  r.p50us = Percentile(rtt, 0.5);
  r.p99us = Percentile(rtt, 0.99);
  return r;
}

// Datagrams the kernel dropped at a process's datagram port.
std::uint64_t Drops(pid_t pid, std::uint16_t port) {
  for (const auto& s : test::SocketsOf(pid))
    if (!s.tcp && s.port == port) return s.drops;
  return 0;
}

Rate MedianRate(std::vector<Rate> rounds) {
  std::sort(rounds.begin(), rounds.end(),
            [](const Rate& a, const Rate& b) { return a.perSecond < b.perSecond; });
  return rounds[rounds.size() / 2];
}
double MedianP50(std::vector<Rate> rounds) {
  std::vector<double> p50;
  for (const auto& r : rounds) p50.push_back(r.p50us);
  return Percentile(p50, 0.5);
}
// Each round's rate against the bare loop's in the same round; the median of those ratios.
double MedianRatio(const std::vector<Rate>& server, const std::vector<Rate>& bare) {
  std::vector<double> ratios;
  for (std::size_t i = 0; i < server.size(); ++i) ratios.push_back(server[i].perSecond / bare[i].perSecond);
  return Percentile(ratios, 0.5);
}
int Lost(const std::vector<Rate>& rounds) {
  int n = 0;
  for (const auto& r : rounds) n += r.lost;
  return n;
}
void PrintHeading() {
  std::printf("  %-30s %9s %9s %9s   %s\n", "", "moves/s", "p50 us", "p99 us",
              "CPU us per move: server, X server, client");
}

// The median round's rate, the median round trip of a move and a ping, and the CPU time per move over all
// rounds.
void Print(const char* name, const std::vector<Rate>& rounds) {
  double server = 0, xserver = 0, client = 0;
  long moves = 0;
  for (const auto& r : rounds) {
    server += r.serverCpu;
    xserver += r.xserverCpu;
    client += r.clientCpu;
    moves += r.moves;
  }
  const double scale = moves > 0 ? 1e6 / static_cast<double>(moves) : 0;
  char x[16] = "-";
  if (xserver > 0) std::snprintf(x, sizeof x, "%.1f", xserver * scale);
  const Rate m = MedianRate(rounds);
  std::printf("  %-30s %9.0f %9.1f %9.1f   %6.1f %6s %6.1f\n", name, m.perSecond, MedianP50(rounds), m.p99us,
              server * scale, x, client * scale);
}

// Keep-alive HTTP "a=m" requests on one connection; the latency of each.
std::vector<double> HttpLatencies(std::uint16_t port, int requests) {
  const std::string request = "GET /?x:1&y:0&a=m HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
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
  options.uploadPort = 0;
  Server server(platform, ui, live, options);
  server.Start();

  // Each datagram's handling time, from a bare copy of the full path in this process.
  std::vector<double> handling;
  {
    FakePlatform copyPlatform;
    settings::LiveSettings copyLive(o);
    access::AccessControl access{copyLive, ui};
    input::InputState state{copyPlatform};
    input::CommandServices services;
    services.checkAccess = [&access](const std::string& peer) {
      return access.CheckAccess(peer, access::Asking::InBackground);
    };
    discovery::DatagramCommands commands(copyPlatform, ui, copyLive, state, services,
                                         discovery::DatagramLink{});
    const auto d = Move(3, 2);
    const auto limit = Clock::now() + kRoundLimit;
    for (int i = 0; i < 20000 && Clock::now() < limit; ++i) {
      const auto t0 = Clock::now();
      commands.IdUDPServer1UDPRead("127.0.0.1", d);
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

  std::printf(
      "\nHTTP commands under a datagram flood, fake platform (%ld datagrams sent, %d cursor sets seen)\n",
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

int Run(int argc, char** argv) {
  const fernpad::test::BenchArgs parsed = fernpad::test::ParseBenchArgs(argc, argv);
  const std::vector<std::string>& args = parsed.rest;
  const double profileSeconds = parsed.profileSeconds;
  const long count = args.empty() ? 100000 : std::max(1000L, std::atol(args[0].c_str()));

  // The built program as a person runs it, on a private X server; its answers come here.
  Answers answers;
  test::Xvfb xvfb("1920x1080x24");
  test::ServerProcess::Options realOptions;
  realOptions.verbose = false;
  realOptions.extraArgs = {"--udp-answer-port", std::to_string(answers.Port())};
  test::ServerProcess real(FERNPAD_SERVER_BINARY, xvfb.Display(), realOptions);
  const auto realPort = static_cast<std::uint16_t>(real.UdpPort());
  if (profileSeconds > 0) {
    std::printf("fernpad-server: process %d, Xvfb: process %d; driving it for %.0f s\n", real.Pid(),
                xvfb.Pid(), profileSeconds);
    std::fflush(stdout);
    const auto seconds =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(profileSeconds));
    const Rate r = Measure(realPort, answers, 1L << 40, {real.Pid(), xvfb.Pid()}, seconds);
    PrintHeading();
    Print("fernpad-server, X11 on Xvfb", {r});
    return 0;
  }
  BareLoop bareLoop(answers.Port());
  FakeServer fake(answers.Port());

  // The moves must reach the X server: one far move shows up in the pointer another client reads.
  const auto before = test::ReadPointer(xvfb.Display());
  {
    const int fd = Sender(realPort);
    Send(fd, Move(40, 30));
    Send(fd, kPing);
    close(fd);
  }
  const auto after = answers.Wait(kAnswerWait) ? test::ReadPointer(xvfb.Display()) : test::PointerLocation{};
  if (before == after || after.x < 0) {
    std::fprintf(stderr, "the server's moves do not reach the X server (pointer %d,%d, then %d,%d)\n",
                 before.x, before.y, after.x, after.y);
    return 1;
  }

  // Warm up, then measure in alternating rounds so every endpoint sees the same machine.
  const std::uint16_t barePort = bareLoop.server->Port(), fakePort = fake.server.UdpPort();
  const Processes inProcess, realProcesses{real.Pid(), xvfb.Pid()};
  for (std::uint16_t port : {barePort, realPort, fakePort})
    Measure(port, answers, count / 10, port == realPort ? realProcesses : inProcess);
  const std::uint64_t realDrops = Drops(real.Pid(), realPort), bareDrops = Drops(getpid(), barePort),
                      fakeDrops = Drops(getpid(), fakePort);
  std::vector<Rate> bare, realRounds, fakeRounds;
  for (int round = 0; round < kRounds; ++round) {
    bare.push_back(Measure(barePort, answers, count, inProcess));
    realRounds.push_back(Measure(realPort, answers, count, realProcesses));
    fakeRounds.push_back(Measure(fakePort, answers, count, inProcess));
  }
  const auto pointerAtEnd = test::ReadPointer(xvfb.Display());

  std::printf(
      "Code 2 moves, %ld per round, a ping after every %d, at most %d in flight, median of %d rounds\n",
      count, kBlock, kBlocksInFlight * (kBlock + 1), kRounds);
  std::printf(
      "headline: fernpad-server (the built program, headless, no logging) on Xvfb, the real X11 backend\n");
  std::printf("(p50, p99: a move and a ping sent together, until the ping's answer)\n");
  PrintHeading();
  Print("bare receive loop", bare);
  Print("fernpad-server, X11 on Xvfb", realRounds);
  std::printf("  rate ratio (fernpad-server / bare), median of rounds: %.2f   (goal >= 0.70)\n",
              MedianRatio(realRounds, bare));
  std::printf("  added latency per move (p50): %.1f us\n", MedianP50(realRounds) - MedianP50(bare));
  std::printf("  pings unanswered: %d (bare loop %d); dropped by the kernel: %llu (bare loop %llu)\n",
              Lost(realRounds), Lost(bare),
              static_cast<unsigned long long>(Drops(real.Pid(), realPort) - realDrops),
              static_cast<unsigned long long>(Drops(getpid(), barePort) - bareDrops));
  std::printf("  (the X pointer: %d,%d after a check move, %d,%d at the end)\n", after.x, after.y,
              pointerAtEnd.x, pointerAtEnd.y);

  std::printf(
      "\nsecond figure: the same datagram commands in this process on the recording fake platform (no X)\n");
  PrintHeading();
  Print("code 2 moves, fake platform", fakeRounds);
  std::printf(
      "  rate ratio (fake platform / bare), median of rounds: %.2f    added latency per move (p50): %.1f "
      "us\n",
      MedianRatio(fakeRounds, bare), MedianP50(fakeRounds) - MedianP50(bare));
  std::printf("  pings unanswered: %d; dropped by the kernel: %llu\n", Lost(fakeRounds),
              static_cast<unsigned long long>(Drops(getpid(), fakePort) - fakeDrops));
  FloodTest(static_cast<int>(std::min(count, 1000000L)));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return fernpad::test::RunBenchmark([&] { return Run(argc, argv); });
}
