#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>

#include "Loopback.h"
#include "ServerProcess.h"
#include "XEventRecorder.h"
#include "XRandrLayout.h"
#include "Xvfb.h"

namespace fernpad::test {
namespace {

using namespace std::chrono_literals;

class HttpMouseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    xvfb = new Xvfb("1920x1080x24");
    server = new ServerProcess(FERNPAD_SERVER_BINARY, xvfb->Display());
  }
  static void TearDownTestSuite() {
    delete server;
    delete xvfb;
  }
  std::string Get(const std::string& query) { return Curl(server->HttpPort(), "/?" + query); }

  static Xvfb* xvfb;
  static ServerProcess* server;
};
Xvfb* HttpMouseTest::xvfb = nullptr;
ServerProcess* HttpMouseTest::server = nullptr;

TEST_F(HttpMouseTest, AbsoluteAndRelativeMovesPlaceTheRealPointer) {
  const std::string reply = Get("x:0&y:0&a=a");
  EXPECT_NE(reply.find("200 OK"), std::string::npos);
  EXPECT_NE(reply.find("Content-Length: 1\r\n"), std::string::npos);
  EXPECT_EQ(reply.substr(reply.size() - 5), "\r\n\r\n ");
  PointerLocation p = ReadPointer(xvfb->Display());
  EXPECT_EQ(p.x, 960);
  EXPECT_EQ(p.y, 540);

  Get("x:-100&y:50&a=a");
  p = ReadPointer(xvfb->Display());
  EXPECT_EQ(p.x, 860);
  EXPECT_EQ(p.y, 590);

  Get("x:15&y:-3&a=m");  // acceleration 1: 15 takes one step to 15.75
  p = ReadPointer(xvfb->Display());
  EXPECT_EQ(p.x, 876);
  EXPECT_EQ(p.y, 587);

  Get("x:0&y:0&a=ss");  // the snapshot never moves the pointer, even when it fails
  Get("x:0&y:0&a=nothing");
  p = ReadPointer(xvfb->Display());
  EXPECT_EQ(p.x, 876);
  EXPECT_EQ(p.y, 587);
}

TEST_F(HttpMouseTest, ButtonsAndWheelArriveAtTheWindowUnderThePointer) {
  XEventRecorder window(xvfb->Display(), 0, 0, 1920, 1080);
  Get("x:0&y:0&a=a");
  for (const char* command : {"a=mbl", "a=mbr", "a=mbm", "a=mbld", "a=mblu"})
    Get(std::string("x:0&y:0&") + command);
  Get("x:0&y:1&a=scrollm");    // towards the user
  Get("x:0&y:-2&a=scrollm");   // two notches away
  Get("x:0&y:0.5&a=scrollm");  // rounds to no notch
  window.Collect();
  EXPECT_EQ(window.Buttons(), "+1 -1 +3 -3 +2 -2 +1 -1 +5 -5 +4 -4 +4 -4");
}

TEST_F(HttpMouseTest, TapClicksLaterAndDoubleTapDrags) {
  XEventRecorder window(xvfb->Display(), 0, 0, 1920, 1080);
  Get("x:0&y:0&a=a");
  Get("x:0&y:0&a=d");
  Get("x:0&y:0&a=u");
  window.Collect();
  EXPECT_EQ(window.Buttons(), "");  // the click comes from the timer
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (window.Buttons() != "+1 -1" && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
    window.Collect();
  }
  EXPECT_EQ(window.Buttons(), "+1 -1");

  // A double tap holds the button; the pointer moves with it; the next finger-up lets go. Wall-clock
  // timing decides here, so retry when the machine was too slow to send the second touch in 150 ms.
  bool dragged = false;
  for (int attempt = 0; attempt < 5 && !dragged; ++attempt) {
    window.Clear();
    std::this_thread::sleep_for(300ms);  // let any earlier tap's click pass
    window.Collect();
    window.Clear();
    Get("x:0&y:0&a=d");
    Get("x:0&y:0&a=u");
    Get("x:0&y:0&a=d");
    window.Collect();
    dragged = window.Buttons() == "+1";
    Get("x:40&y:0&a=m");
    Get("x:0&y:0&a=u");
    if (!dragged) std::this_thread::sleep_for(300ms);
  }
  ASSERT_TRUE(dragged);
  window.Collect();
  EXPECT_EQ(window.Buttons(), "+1 -1");
}

TEST_F(HttpMouseTest, ErrorsAndChatAnswerAsTheHandheldExpects) {
  const std::string error = Get("x:5&a=m");
  EXPECT_NE(error.find("HTTP/1.1 500"), std::string::npos);
  EXPECT_NE(error.find("List index out of bounds (2)"), std::string::npos);
  const std::string chat = Get("x:0&y:0&a=chat&v=Hello+there");
  EXPECT_NE(chat.find("200 OK"), std::string::npos);
  EXPECT_NE(server->Stdout(12, 10s).find("Hello there\n"), std::string::npos);
}

TEST(HttpServerProcess, StopsCleanlyOnTerminate) {
  Xvfb xvfb("640x480x24");
  ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display());
  EXPECT_NE(Curl(server.HttpPort(), "/?x:0&y:0&a=a").find("200 OK"), std::string::npos);
  EXPECT_EQ(server.Stop(), 0);
}

// With one X screen split into monitors, the absolute move's origin is the primary monitor's centre and the
// relative parts count in its pixels.
TEST(HttpServerProcess, AbsoluteMovesCountFromThePrimaryMonitor) {
  for (const SplitScreen& layout : SplitScreens()) {
    SCOPED_TRACE(layout.name);
    Xvfb xvfb(layout.screen);
    SetMonitors(xvfb.Display(), layout.monitors);
    ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display());
    const MonitorSpec& primary = layout.primary;
    Curl(server.HttpPort(), "/?x:0&y:0&a=a");
    EXPECT_EQ(ReadPointer(xvfb.Display()),
              (PointerLocation{primary.x + primary.width / 2, primary.y + primary.height / 2}));
    Curl(server.HttpPort(), "/?x:-100&y:50&a=a");
    EXPECT_EQ(ReadPointer(xvfb.Display()),
              (PointerLocation{primary.x + primary.width / 2 - 100, primary.y + primary.height / 2 + 50}));
    EXPECT_EQ(server.Stop(), 0);
  }
}

TEST(HttpServerProcess, WithoutAnXServerItSaysSoAndFails) {
  EXPECT_THROW(ServerProcess(FERNPAD_SERVER_BINARY, ":9999"), std::runtime_error);
}

// One keep-alive connection as the handheld keeps it: requests one after the other, or sent together.
class KeepAlive {
 public:
  explicit KeepAlive(int port) : fd_(ConnectLoopback(static_cast<std::uint16_t>(port))) {}
  ~KeepAlive() { ::close(fd_); }
  // Sends the requests in one write and reads their replies; false when one is missing or not 200.
  bool Send(const std::vector<std::string>& queries) {
    std::string out;
    for (const auto& q : queries) out += "GET /?" + q + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (::send(fd_, out.data(), out.size(), MSG_NOSIGNAL) != ssize_t(out.size())) return false;
    for (std::size_t i = 0; i < queries.size(); ++i) {
      std::size_t end;
      while ((end = in_.find("\r\n\r\n")) == std::string::npos || in_.size() < end + 5)
        if (!Read()) return false;
      if (in_.rfind("HTTP/1.1 200", 0) != 0) return false;
      in_.erase(0, end + 5);  // every reply here has a body of one blank
    }
    return true;
  }

 private:
  bool Read() {
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    in_.append(buffer, static_cast<std::size_t>(n));
    return true;
  }
  int fd_;
  std::string in_;
};

// Moves are carried out without waiting for the X server, so none may be lost or reordered: bursts from
// several connections at once, with taps among them, while another X client moves the pointer too, add up
// exactly; absolute moves sent together with relative ones on one connection keep their order.
TEST_F(HttpMouseTest, BurstsOfMovesAddUpExactly) {
  Get("x:-400&y:-200&a=a");  // (560, 340); steps of at most 10 pixels are not accelerated
  constexpr int kRounds = 150;
  const PointerLocation steps[] = {{1, 0}, {0, 1}, {2, -1}, {-1, 2}};
  std::vector<std::thread> clients;
  std::atomic<int> failures{0};
  for (const PointerLocation step : steps)
    clients.emplace_back([&, step] {
      KeepAlive connection(server->HttpPort());
      const std::string move = "x:" + std::to_string(step.x) + "&y:" + std::to_string(step.y) + "&a=m";
      for (int round = 0; round < kRounds; ++round) {
        std::vector<std::string> queries{move};
        if (round % 25 == 0) queries.insert(queries.end(), {"x:0&y:0&a=d", "x:0&y:0&a=u"});
        if (!connection.Send(queries)) ++failures;
      }
    });
  clients.emplace_back([&] {  // another program moving the pointer meanwhile
    Display* dpy = XOpenDisplay(xvfb->Display().c_str());
    for (int round = 0; round < kRounds; ++round) {
      XWarpPointer(dpy, None, None, 0, 0, 0, 0, 1, 1);
      XFlush(dpy);
    }
    XCloseDisplay(dpy);
  });
  for (auto& client : clients) client.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(ReadPointer(xvfb->Display()), (PointerLocation{560 + kRounds * 3, 340 + kRounds * 3}));

  KeepAlive connection(server->HttpPort());
  std::vector<std::string> queries{"x:100&y:100&a=a"};
  queries.insert(queries.end(), 50, "x:2&y:2&a=m");
  queries.push_back("x:-100&y:-100&a=a");
  queries.insert(queries.end(), 30, "x:3&y:-1&a=m");
  ASSERT_TRUE(connection.Send(queries));
  EXPECT_EQ(ReadPointer(xvfb->Display()), (PointerLocation{860 + 90, 440 - 30}));
}

}  // namespace
}  // namespace fernpad::test
