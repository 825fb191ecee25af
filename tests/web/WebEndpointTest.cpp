#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <filesystem>
#include <functional>
#include <future>

#include <gtest/gtest.h>

#include "Loopback.h"
#include "input/Mouse.h"
#include "input/Numbers.h"
#include "platform/fake/FakePlatform.h"
#include "server/Server.h"
#include "settings/OptionsStore.h"

namespace fernpad {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

constexpr char kAllowed[] = "127.0.0.2";
constexpr char kDenied[] = "127.0.0.3";
constexpr char kUnknown[] = "127.0.0.4";

class AnsweringUi : public NullUi {
 public:
  std::optional<bool> AskAllowHost(const std::string& address) override {
    asked.push_back(address);
    if (whileAsking) whileAsking();
    return true;
  }
  std::vector<std::string> asked;
  std::function<void()> whileAsking;  // the person takes their time
};

// A browser's side of the socket, from a chosen loopback address; every read gives up after 10 s.
class Browser {
 public:
  Browser(std::uint16_t port, const std::string& from) : port_(port), ws_(ioc_) {
    const int fd = test::ConnectLoopback(port, from);
    const timeval limit{10, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ws_.next_layer().assign(tcp::v4(), fd);
  }
  // The handshake's status: 101 when the socket is open, 0 when the server closed without an answer.
  int Open(const std::string& target, const std::string& origin) {
    ws_.set_option(websocket::stream_base::decorator(
        [origin](websocket::request_type& req) { req.set(http::field::origin, origin); }));
    websocket::response_type res;
    beast::error_code ec;
    ws_.handshake(res, Host(), target, ec);
    if (!ec) return 101;
    return ec == websocket::error::upgrade_declined ? res.result_int() : 0;
  }
  void Send(const std::string& message) { ws_.write(asio::buffer(message)); }
  // The next binary message.
  std::string Receive() {
    beast::flat_buffer buffer;
    ws_.read(buffer);
    EXPECT_TRUE(ws_.got_binary());
    return beast::buffers_to_string(buffer.data());
  }
  std::string Host() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Origin() const { return "http://" + Host(); }

 private:
  std::uint16_t port_;
  asio::io_context ioc_;
  websocket::stream<tcp::socket> ws_;
};

class WebEndpointTest : public ::testing::Test {
 protected:
  WebEndpointTest()
      : dir(std::filesystem::temp_directory_path() / ("fernpad-web-test-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(dir);
    store = std::make_unique<settings::OptionsStore>(dir / "option.dat", nullptr, "/tmp/");
    live.Load(store->LoadOptions());
    live.Change([](settings::Options& o) {
      o.AllowedHosts = {kAllowed};
      o.DeniedHosts = {kDenied};
    });
    ServerOptions options;
    options.bindAddress = "127.0.0.1";
    options.httpPort = options.udpPort = options.uploadPort = options.webPort = 0;
    options.webRemote = true;
    server = std::make_unique<Server>(platform, ui, live, options);
    server->Start();
    platform.SetCursor({100, 100});
  }
  ~WebEndpointTest() override {
    server.reset();
    std::filesystem::remove_all(dir);
  }
  std::string Target() const { return "/ws?t=" + server->WebToken(); }

  std::filesystem::path dir;
  FakePlatform platform;
  AnsweringUi ui;
  settings::LiveSettings live;
  std::unique_ptr<settings::OptionsStore> store;
  std::unique_ptr<Server> server;
};

TEST_F(WebEndpointTest, APageOfAnAllowedDeviceMovesTheCursorAndGetsSnapshots) {
  Browser browser(server->WebPort(), kAllowed);
  ASSERT_EQ(browser.Open(Target(), browser.Origin()), 101);
  browser.Send("m 30 -20");
  browser.Send("ss");  // answered after the move: the messages of a socket run in order
  const std::string jpeg = browser.Receive();
  ASSERT_GE(jpeg.size(), 2u);
  EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
  // Accelerated as the handheld's moves are.
  const input::Delta d = input::AccelerateDelta(30, -20, live.MouseAcceleration());
  EXPECT_NE(d.dx, 30);
  EXPECT_EQ(platform.Cursor(), (Point{100 + input::Nearest(d.dx), 100 + input::Nearest(d.dy)}));
}

TEST_F(WebEndpointTest, AHandshakeWithoutTheTokenOrFromAnotherPageIsRefused) {
  const std::string other =
      server->WebToken() == std::string(32, 'a') ? std::string(32, 'b') : std::string(32, 'a');
  const struct {
    const char* what;
    std::string target;
    std::string origin;
  } cases[] = {
      {"wrong token", "/ws?t=" + other, ""},
      {"no token", "/ws", ""},
      {"foreign origin", Target(), "http://evil.example"},
  };
  for (const auto& c : cases) {
    Browser browser(server->WebPort(), kAllowed);
    EXPECT_EQ(browser.Open(c.target, c.origin.empty() ? browser.Origin() : c.origin), 403) << c.what;
  }
  EXPECT_TRUE(ui.asked.empty());
}

TEST_F(WebEndpointTest, ADeniedDeviceGetsNothing) {
  Browser browser(server->WebPort(), kDenied);
  EXPECT_EQ(browser.Open(Target(), browser.Origin()), 0);
  const std::string page = test::HttpRequest(server->WebPort(), "", kDenied);
  EXPECT_EQ(page, "");
  EXPECT_EQ(platform.SetCursorCalls(), 0);
  EXPECT_TRUE(ui.asked.empty());
}

TEST_F(WebEndpointTest, AnUnknownDeviceIsLetInOnceThePersonSaysYes) {
  Browser browser(server->WebPort(), kUnknown);
  ASSERT_EQ(browser.Open(Target(), browser.Origin()), 101);
  EXPECT_EQ(ui.asked, std::vector<std::string>{kUnknown});
  EXPECT_EQ(live.Get().AllowedHosts.back(), kUnknown);
}

// The box is switched off on the thread that answers the security question: switching off must not wait
// for a socket that waits for that answer.
TEST_F(WebEndpointTest, SwitchingOffWhileAPageWaitsForThePersonReturnsAtOnceAndFreesThePort) {
  std::promise<void> asking;
  std::promise<void> answer;
  ui.whileAsking = [&, answered = answer.get_future().share()] {
    asking.set_value();
    answered.wait();
  };
  const std::uint16_t port = server->WebPort();
  const std::string target = Target();
  auto page = std::async(std::launch::async, [&] {
    Browser browser(port, kUnknown);
    return browser.Open(target, browser.Origin());
  });
  asking.get_future().wait();
  auto off = std::async(std::launch::async, [&] { server->SetWebRemote(false); });
  const bool returned = off.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
  answer.set_value();
  ASSERT_TRUE(returned);
  EXPECT_NE(page.get(), 101);
  asio::io_context ioc;
  EXPECT_NO_THROW(tcp::acceptor(ioc, {asio::ip::make_address("127.0.0.1"), port}));
  EXPECT_EQ(server->WebPort(), 0);
}

TEST_F(WebEndpointTest, ThePageIsServedAtTheRoot) {
  const std::string response = test::HttpRequest(server->WebPort(), "", kAllowed);
  EXPECT_EQ(response.substr(0, 15), "HTTP/1.0 200 OK");
  EXPECT_EQ(test::ResponseHeader(response, "Content-Type"), "text/html; charset=utf-8");
  EXPECT_NE(response.find("new WebSocket("), std::string::npos);
}

}  // namespace
}  // namespace fernpad
