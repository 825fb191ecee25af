// The browser remote against the HTTP command endpoint, both served by the built fernpad-server (headless,
// no logging, the browser remote on) on a private Xvfb, so every move goes to a real X server.
//
// Throughput: relative moves ("m 1 0" and "m -1 0" in turn, so the pointer stays where it is) over open
// WebSockets against "a=m" requests over as many keep-alive HTTP connections, driven by two client threads,
// in alternating rounds. A move message has no answer, so the socket side cannot count what it sent: it
// sends its moves in batches of 32, each followed by a WebSocket ping, and counts a batch once the pong is
// back. The server reads a socket's frames in order and answers a ping only when it reads it, that is after
// it has run every move before it and flushed its X requests, so a round's clock stops at the last pong
// with no move left in the server, as the HTTP side's stops at its last reply. (The X server may still be
// reading the last few moves' requests then: a few out of tens of thousands per round.) Two batches per
// socket are on their way at any time, so the server never waits for the client. The batches go out twice:
// each move in a write of its own, as a page sends one per touch event, and the whole batch in one write.
// A final "ss" would make the same barrier, but adds a screen grab and a JPEG to every round.
//
// Latency: one move at a time on one connection, timed from the send to the pointer having moved as another
// X client sees it (polling XQueryPointer on its own connection to the X server; the figure includes up to
// one poll's round trip). The same for "a=m" requests, alternating sample by sample, 2 ms apart; "missed"
// counts moves not seen within 1 s.
// Usage: bench_web_remote [connections (2)] [seconds per round (1)] [latency samples per transport (300)]
#include <X11/Xlib.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchMain.h"
#include "Loopback.h"
#include "ProcInfo.h"
#include "ServerProcess.h"
#include "Xvfb.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kClientThreads = 2;
constexpr int kRounds = 5;
constexpr int kBatch = 32;  // moves per ping (even: the pointer ends where it started)
constexpr auto kGrace = std::chrono::seconds(5);

const std::string kHttpMoves[2] = {"GET /?x:1&y:0&a=m HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n",
                                   "GET /?x:-1&y:0&a=m HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"};

// A client frame: masked as the protocol wants (with a zero key, which leaves the payload as it is).
std::string Frame(unsigned char opcode, const std::string& payload) {
  std::string f;
  f += static_cast<char>(0x80 | opcode);
  f += static_cast<char>(0x80 | payload.size());  // short messages only
  f.append(4, '\0');
  return f + payload;
}

const std::string kWebMoves[2] = {Frame(1, "m 1 0"), Frame(1, "m -1 0")};
const std::string kPing = Frame(9, "");

std::string BatchOfMoves() {
  std::string batch;
  for (int i = 0; i < kBatch; ++i) batch += kWebMoves[i % 2];
  return batch + kPing;
}

void WriteAll(int fd, const std::string& data) {
  if (write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size()))
    throw std::runtime_error("could not send");
}

// Opens the page's socket on a new connection, as the page does; returns the connection.
int OpenSocket(std::uint16_t port, const std::string& token) {
  const int fd = fernpad::test::ConnectLoopback(port);
  const timeval limit{10, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  const std::string host = "127.0.0.1:" + std::to_string(port);
  WriteAll(fd, "GET /ws?t=" + token + " HTTP/1.1\r\nHost: " + host + "\r\nOrigin: http://" + host +
                   "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
  std::string head;
  char c;
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (read(fd, &c, 1) != 1 || head.size() > 4096) throw std::runtime_error("the socket did not open");
    head += c;
  }
  if (head.compare(0, 12, "HTTP/1.1 101") != 0)
    throw std::runtime_error("the socket was refused: " + head.substr(0, head.find("\r\n")));
  return fd;
}

// The server frames at the start of got that are complete: how many pongs, and how many bytes they took.
std::size_t TakePongs(std::string& got) {
  std::size_t pongs = 0, at = 0;
  while (got.size() - at >= 2) {
    const auto op = static_cast<unsigned char>(got[at]) & 0x0F;
    std::size_t length = static_cast<unsigned char>(got[at + 1]) & 0x7F, head = 2;
    if (length == 126 || length == 127) throw std::runtime_error("unexpected long frame");
    if (got.size() - at < head + length) break;
    if (op == 8) throw std::runtime_error("the server closed the socket");
    if (op == 0xA) ++pongs;
    at += head + length;
  }
  got.erase(0, at);
  return pongs;
}

struct Result {
  double movesPerSecond = 0;
  long moves = 0;
  double serverCpu = 0, xserverCpu = 0;  // seconds
};

// One client thread's connections until the end time; the answers still on their way then are waited for.
// Returns the moves done and sets lastDone to when the last of them was confirmed.
// How the moves go out.
enum class Mode {
  kHttp,        // one "a=m" request at a time per connection, each reply awaited
  kWebBatched,  // a batch of move messages and its ping in one write
  kWebSingly,   // each move message in a write of its own, as a page sends one per touch event
};

long DriveConnections(const std::vector<int>& fds, Mode mode, Clock::time_point end,
                      Clock::time_point& lastDone) {
  static const std::string kBatchText = BatchOfMoves();
  const bool web = mode != Mode::kHttp;
  struct Conn {
    int fd;
    unsigned sent = 0;  // HTTP: requests sent
    int inFlight = 0;   // web: batches whose pong has not come yet
    std::string got;
  };
  std::vector<Conn> conns;
  for (int fd : fds) conns.push_back(Conn{fd, 0, 0, {}});
  const int ep = epoll_create1(0);
  long moves = 0;
  auto sendNext = [&](Conn& c) {
    if (mode == Mode::kWebBatched) {
      WriteAll(c.fd, kBatchText);
      ++c.inFlight;
    } else if (mode == Mode::kWebSingly) {
      for (int i = 0; i < kBatch; ++i) WriteAll(c.fd, kWebMoves[i % 2]);
      WriteAll(c.fd, kPing);
      ++c.inFlight;
    } else {
      WriteAll(c.fd, kHttpMoves[c.sent++ % 2]);
    }
  };
  for (std::size_t i = 0; i < conns.size(); ++i) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = i;
    epoll_ctl(ep, EPOLL_CTL_ADD, conns[i].fd, &ev);
    sendNext(conns[i]);
    if (web) sendNext(conns[i]);
  }
  std::size_t open = conns.size();
  char buf[4096];
  epoll_event events[32];
  while (open > 0) {
    if (Clock::now() > end + kGrace) throw std::runtime_error("answers did not come");
    const int n = epoll_wait(ep, events, 32, 100);
    for (int e = 0; e < n; ++e) {
      Conn& c = conns[events[e].data.u64];
      const ssize_t got = read(c.fd, buf, sizeof buf);
      if (got <= 0) throw std::runtime_error("the server closed a connection");
      c.got.append(buf, static_cast<std::size_t>(got));
      bool done = false;
      if (web) {
        const std::size_t pongs = TakePongs(c.got);
        if (pongs == 0) continue;
        moves += static_cast<long>(pongs) * kBatch;
        c.inFlight -= static_cast<int>(pongs);
        lastDone = Clock::now();
        for (std::size_t p = 0; p < pongs && lastDone < end; ++p) sendNext(c);
        done = c.inFlight == 0;
      } else {
        const std::size_t replyEnd = fernpad::test::HttpReplyEnd(c.got);
        if (replyEnd == 0) continue;
        c.got.erase(0, replyEnd);
        ++moves;
        lastDone = Clock::now();
        if (lastDone < end || c.sent % 2 == 1) {
          sendNext(c);
        } else {
          done = true;
        }
      }
      if (done) {
        epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
        --open;
      }
    }
  }
  close(ep);
  return moves;
}

struct Target {
  std::uint16_t httpPort = 0, webPort = 0;
  std::string token;
  pid_t server = -1, xserver = -1;
};

Result Drive(const Target& target, Mode mode, int connections, std::chrono::milliseconds duration) {
  const bool web = mode != Mode::kHttp;
  std::vector<std::vector<int>> fds(kClientThreads);
  for (int c = 0; c < connections; ++c)
    fds[c % kClientThreads].push_back(web ? OpenSocket(target.webPort, target.token)
                                          : fernpad::test::ConnectLoopback(target.httpPort));
  std::vector<long> moves(kClientThreads);
  std::vector<Clock::time_point> lastDone(kClientThreads);
  std::vector<std::string> errors(kClientThreads);
  const double server0 = fernpad::test::CpuSeconds(target.server);
  const double xserver0 = fernpad::test::CpuSeconds(target.xserver);
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < kClientThreads; ++t) {
    lastDone[t] = start;
    threads.emplace_back([&, t] {
      try {
        moves[t] = DriveConnections(fds[t], mode, start + duration, lastDone[t]);
      } catch (const std::exception& e) {
        errors[t] = e.what();
      }
    });
  }
  for (auto& t : threads) t.join();
  Result r;
  r.serverCpu = fernpad::test::CpuSeconds(target.server) - server0;
  r.xserverCpu = fernpad::test::CpuSeconds(target.xserver) - xserver0;
  for (auto& list : fds)
    for (int fd : list) close(fd);
  for (const auto& e : errors)
    if (!e.empty()) throw std::runtime_error(e);
  for (long m : moves) r.moves += m;
  if (r.moves == 0) throw std::runtime_error("no move was confirmed");
  const auto last = *std::max_element(lastDone.begin(), lastDone.end());
  r.movesPerSecond = static_cast<double>(r.moves) / std::chrono::duration<double>(last - start).count();
  return r;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Watches the pointer from an X connection of its own.
class PointerWatch {
 public:
  explicit PointerWatch(const std::string& display) : dpy_(XOpenDisplay(display.c_str())) {
    if (!dpy_) throw std::runtime_error("cannot open display " + display);
  }
  ~PointerWatch() { XCloseDisplay(dpy_); }
  PointerWatch(const PointerWatch&) = delete;
  PointerWatch& operator=(const PointerWatch&) = delete;
  int X() {
    Window root, child;
    int rx = -1, ry = -1, wx, wy;
    unsigned mask;
    XQueryPointer(dpy_, DefaultRootWindow(dpy_), &root, &child, &rx, &ry, &wx, &wy, &mask);
    return rx;
  }
  // Microseconds from t0 until the pointer is off from; negative if it did not move within the limit.
  double UntilMovedFrom(int from, Clock::time_point t0, std::chrono::milliseconds limit) {
    while (true) {
      const int x = X();
      const auto now = Clock::now();
      if (x != from) return std::chrono::duration<double, std::micro>(now - t0).count();
      if (now - t0 > limit) return -1;
    }
  }

 private:
  Display* dpy_;
};

struct Latency {
  std::vector<double> us;
  int missed = 0;
  double Percentile(int p) const {
    if (us.empty()) return -1;
    std::vector<double> s = us;
    std::sort(s.begin(), s.end());
    return s[std::min(s.size() - 1, s.size() * static_cast<std::size_t>(p) / 100)];
  }
};

// One move at a time on each transport in turn, each timed until the pointer has moved.
void MeasureLatency(const Target& target, PointerWatch& watch, int samples, Latency& web, Latency& http) {
  const int socket = OpenSocket(target.webPort, target.token);
  const int conn = fernpad::test::ConnectLoopback(target.httpPort);
  const timeval limit{5, 0};
  setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  const auto giveUp = Clock::now() + std::chrono::seconds(60);
  std::string got;
  char buf[4096];
  for (int i = 0; i < 2 * samples && Clock::now() < giveUp; ++i) {
    const bool isWeb = i % 2 == 0;
    const int direction = (i / 2) % 2;
    const int from = watch.X();
    const auto t0 = Clock::now();
    WriteAll(isWeb ? socket : conn, isWeb ? kWebMoves[direction] : kHttpMoves[direction]);
    const double us = watch.UntilMovedFrom(from, t0, std::chrono::seconds(1));
    Latency& l = isWeb ? web : http;
    if (us < 0) {
      ++l.missed;
    } else {
      l.us.push_back(us);
    }
    if (!isWeb) {  // the reply, before the next request
      got.clear();
      while (fernpad::test::HttpReplyEnd(got) == 0) {
        const ssize_t n = read(conn, buf, sizeof buf);
        if (n <= 0) throw std::runtime_error("no reply to a move");
        got.append(buf, static_cast<std::size_t>(n));
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));  // each move finds the servers idle
  }
  close(socket);
  close(conn);
}

// The token of the page's address the server printed ("http://A:P/#TOKEN").
std::string ReadToken(fernpad::test::ServerProcess& server) {
  static const std::regex kAddress(R"(http://[^/\s]+/#([0-9a-f]{32}))");
  std::smatch m;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (Clock::now() < deadline) {
    const std::string out = server.Stdout(1, std::chrono::milliseconds(100));
    if (std::regex_search(out, m, kAddress)) return m[1];
  }
  throw std::runtime_error("the server printed no browser remote address");
}

int Run(int argc, char** argv) {
  const fernpad::test::BenchArgs parsed = fernpad::test::ParseBenchArgs(argc, argv);
  const std::vector<std::string>& args = parsed.rest;
  const int connections = args.size() > 0 ? std::clamp(std::atoi(args[0].c_str()), 1, 64) : 2;
  const auto duration = std::chrono::milliseconds(
      args.size() > 1 ? std::clamp(static_cast<int>(std::atof(args[1].c_str()) * 1000), 100, 60000) : 1000);
  const int samples = args.size() > 2 ? std::clamp(std::atoi(args[2].c_str()), 10, 10000) : 300;

  fernpad::test::Xvfb xvfb("1920x1080x24");
  fernpad::test::ServerProcess::Options options;
  options.verbose = false;
  options.extraArgs = {"--web-remote"};
  fernpad::test::ServerProcess real(FERNPAD_SERVER_BINARY, xvfb.Display(), options);
  Target target;
  target.httpPort = static_cast<std::uint16_t>(real.HttpPort());
  target.webPort = static_cast<std::uint16_t>(real.WebPort());
  target.token = ReadToken(real);
  target.server = real.Pid();
  target.xserver = xvfb.Pid();
  if (target.webPort == 0) throw std::runtime_error("the browser remote did not start");

  // Both transports' moves must reach the X server.
  PointerWatch watch(xvfb.Display());
  {
    const int start = watch.X();
    const int socket = OpenSocket(target.webPort, target.token);
    WriteAll(socket, Frame(1, "m 40 0"));
    const double web = watch.UntilMovedFrom(start, Clock::now(), std::chrono::seconds(2));
    close(socket);
    const int moved = watch.X();
    fernpad::test::HttpRequest(target.httpPort, "x:-40&y:0&a=m");
    const double http = watch.UntilMovedFrom(moved, Clock::now(), std::chrono::seconds(2));
    if (web < 0 || http < 0) {
      std::fprintf(stderr, "the server's moves do not reach the X server\n");
      return 1;
    }
  }

  const int pointerBefore = watch.X();
  for (Mode mode : {Mode::kHttp, Mode::kWebBatched, Mode::kWebSingly})
    Drive(target, mode, connections, std::chrono::milliseconds(300));  // warm up
  std::vector<Result> httpRounds, batchedRounds, singlyRounds;
  std::vector<double> batchedRatios, singlyRatios;
  for (int round = 0; round < kRounds; ++round) {
    httpRounds.push_back(Drive(target, Mode::kHttp, connections, duration));
    batchedRounds.push_back(Drive(target, Mode::kWebBatched, connections, duration));
    singlyRounds.push_back(Drive(target, Mode::kWebSingly, connections, duration));
    batchedRatios.push_back(batchedRounds.back().movesPerSecond / httpRounds.back().movesPerSecond);
    singlyRatios.push_back(singlyRounds.back().movesPerSecond / httpRounds.back().movesPerSecond);
  }
  // A pong says the server ran and flushed every move, not that the X server has read the last few of them
  // yet: give it a moment before looking.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const int pointerAfter = watch.X();

  Latency webLatency, httpLatency;
  MeasureLatency(target, watch, samples, webLatency, httpLatency);

  auto rate = [](const std::vector<Result>& rounds) {
    std::vector<double> v;
    for (const auto& r : rounds) v.push_back(r.movesPerSecond);
    return Median(v);
  };
  auto cpu = [](const std::vector<Result>& rounds, double Result::*part) {
    double seconds = 0;
    long moves = 0;
    for (const auto& r : rounds) {
      seconds += r.*part;
      moves += r.moves;
    }
    return seconds * 1e6 / static_cast<double>(moves);
  };
  std::printf(
      "relative moves (\"m 1 0\"/\"m -1 0\" and \"a=m\" x:1/x:-1), %d connections on %d client threads, "
      "median of %d rounds of %.1f s\n",
      connections, kClientThreads, kRounds, duration.count() / 1000.0);
  std::printf(
      "headline: fernpad-server (the built program, headless, no logging, --web-remote) on Xvfb, "
      "the real X11 backend\n");
  std::printf("  %-40s %10s   %s\n", "", "moves/s", "CPU us per move: server, X server");
  std::printf("  %-40s %10.0f   %6.1f %6.1f\n", "HTTP \"a=m\", keep-alive, reply awaited", rate(httpRounds),
              cpu(httpRounds, &Result::serverCpu), cpu(httpRounds, &Result::xserverCpu));
  auto row = [&](const char* name, const std::vector<Result>& rounds) {
    std::printf("  %-40s %10.0f   %6.1f %6.1f\n", name, rate(rounds), cpu(rounds, &Result::serverCpu),
                cpu(rounds, &Result::xserverCpu));
  };
  row("WebSocket \"m\", a write per move", singlyRounds);
  row("WebSocket \"m\", 32 moves per write", batchedRounds);
  std::printf(
      "  throughput ratio (WebSocket / HTTP), median of rounds: %.3f a write per move, %.3f batched   "
      "(goal >= 1)\n",
      Median(singlyRatios), Median(batchedRatios));
  std::printf(
      "page-to-pointer latency, one move at a time on one connection, %d samples each (send to the "
      "pointer moved, seen by another X client):\n",
      samples);
  std::printf("  %-40s %9s %9s %9s\n", "", "p50 us", "p90 us", "missed");
  std::printf("  %-40s %9.1f %9.1f %9d\n", "HTTP \"a=m\"", httpLatency.Percentile(50),
              httpLatency.Percentile(90), httpLatency.missed);
  std::printf("  %-40s %9.1f %9.1f %9d\n", "WebSocket \"m\"", webLatency.Percentile(50),
              webLatency.Percentile(90), webLatency.missed);
  std::printf("  WebSocket p50: %.1f us   (goal < 1000 us)\n", webLatency.Percentile(50));
  std::printf("  (the X pointer's x: %d before the throughput rounds, %d after)\n", pointerBefore,
              pointerAfter);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  return fernpad::test::RunBenchmark([&] { return Run(argc, argv); });
}
