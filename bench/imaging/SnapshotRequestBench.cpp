// "a=ss" and "a=ssPad" end to end (request to last byte) on a 1920x1080 Xvfb screen, plain and smooth,
// against the same run's floor: one capture of the screen plus one encode of a target-sized picture.
// Usage: snapshot_request_bench [requests per case]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <vector>

#include "Loopback.h"
#include "XRandrLayout.h"
#include "Xvfb.h"
#include "imaging/Jpeg.h"
#include "platform/linux/X11Capture.h"
#include "platform/linux/X11Platform.h"
#include "server/Server.h"

using Clock = std::chrono::steady_clock;

namespace {

double MedianMs(int runs, const std::function<void()>& work) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    work();
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// One keep-alive connection; Get() sends a request and reads the whole reply.
class Connection {
 public:
  explicit Connection(std::uint16_t port) : fd_(fernpad::test::ConnectLoopback(port)) {}
  ~Connection() { close(fd_); }
  std::size_t Get(const std::string& command) {
    const std::string req = "GET /?x:0&y:0&" + command + " HTTP/1.1\r\nHost: b\r\n\r\n";
    if (write(fd_, req.data(), req.size()) != static_cast<ssize_t>(req.size()))
      throw std::runtime_error("write");
    std::string got;
    char buf[65536];
    while (true) {
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) throw std::runtime_error("read");
      got.append(buf, static_cast<std::size_t>(n));
      const auto head = got.find("\r\n\r\n");
      if (head == std::string::npos) continue;
      const auto cl = got.find("Content-Length: ");
      const std::size_t length = std::stoul(got.substr(cl + 16));
      if (got.size() >= head + 4 + length) return length;
    }
  }

 private:
  int fd_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
  fernpad::test::Xvfb xvfb("1920x1080x24");
  for (int i = 0; i < 8; ++i)  // something to encode: coloured bands
    fernpad::test::PaintRoot(xvfb.Display(), i * 240, 0, 240, 1080, 0x203040u * static_cast<unsigned>(i + 1));

  fernpad::X11Platform platform(xvfb.Display());
  fernpad::X11Capture capture(xvfb.Display());
  fernpad::NullUi ui;
  fernpad::settings::LiveSettings settings;
  fernpad::settings::Options options;
  options.DisableAccessControl = true;
  settings.Load(options);
  fernpad::ServerOptions serverOptions;
  serverOptions.bindAddress = "127.0.0.1";
  serverOptions.httpPort = 0;
  serverOptions.udpPort = 0;
  fernpad::Server server(platform, ui, settings, serverOptions);
  server.Start();
  Connection connection(server.HttpPort());

  std::printf("snapshot requests on a 1920x1080 screen, median of %d\n", runs);
  struct Case {
    const char* command;
    int width, height, quality;
  };
  for (const Case& c : {Case{"a=ss", 400, 300, 80}, Case{"a=ssPad", 1024, 768, 90}}) {
    fernpad::Bitmap24 screen;
    capture.Capture(screen);
    fernpad::Bitmap24 target(c.width, c.height);
    const double captureMs = MedianMs(runs, [&] { capture.Capture(screen); });
    const double encodeMs = MedianMs(runs, [&] { fernpad::EncodeJpeg(target, c.quality); });
    const double floorMs = captureMs + encodeMs;
    for (bool smooth : {false, true}) {
      options.SmoothImage = smooth;
      settings.Load(options);
      connection.Get(c.command);  // warm
      const double requestMs = MedianMs(runs, [&] { connection.Get(c.command); });
      std::printf(
          "%-8s %-6s request %6.2f ms   floor %6.2f ms (capture %.2f + encode %.2f)   ratio %.2f  (goal "
          "%s)\n",
          c.command, smooth ? "smooth" : "plain", requestMs, floorMs, captureMs, encodeMs,
          requestMs / floorMs, smooth ? "<= 2.5" : "<= 1.5");
    }
  }
  server.Stop();
  return 0;
}
