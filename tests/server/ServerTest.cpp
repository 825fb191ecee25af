#include "server/Server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "Loopback.h"
#include "platform/fake/FakePlatform.h"
#include "settings/OptionsStore.h"

namespace fernpad {
namespace {

class AnsweringUi : public NullUi {
 public:
  std::optional<bool> AskAllowHost(const std::string& address) override {
    asked.push_back(address);
    return answer;
  }
  void ShowPointerOverlay(Point topLeft) override { overlays.push_back(topLeft); }
  std::vector<std::string> asked;
  bool answer = true;
  std::vector<Point> overlays;
};

class ServerTest : public ::testing::Test {
 protected:
  ServerTest()
      : dir(std::filesystem::temp_directory_path() / ("fernpad-server-test-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(dir);
    store = std::make_unique<settings::OptionsStore>(dir / "option.dat", nullptr, "/tmp/");
    live.Load(store->LoadOptions());
    settings::ConnectSaveHook(live, *store);
    ServerOptions options;
    options.bindAddress = "127.0.0.1";
    options.httpPort = 0;
    options.udpPort = 0;
    options.uploadPort = 0;
    server = std::make_unique<Server>(platform, ui, live, options);
    server->Start();
    platform.SetCursor({100, 100});
  }
  ~ServerTest() override {
    server.reset();
    std::filesystem::remove_all(dir);
  }
  std::string Send(const std::string& from, const std::string& query) {
    return test::HttpRequest(server->HttpPort(), query, from);
  }

  std::filesystem::path dir;
  FakePlatform platform;
  AnsweringUi ui;
  settings::LiveSettings live;
  std::unique_ptr<settings::OptionsStore> store;
  std::unique_ptr<Server> server;
};

TEST_F(ServerTest, AnUnknownDeviceIsAskedForOnceAndRemembered) {
  const std::string first = Send("127.0.0.2", "x:0&y:0&a=mbl");
  EXPECT_NE(first.find("Content-Length: 0\r\n"), std::string::npos);  // the header-only default reply
  EXPECT_TRUE(platform.Records().empty());
  EXPECT_EQ(ui.asked, std::vector<std::string>{"127.0.0.2"});

  const std::string second = Send("127.0.0.2", "x:0&y:0&a=mbl");
  EXPECT_NE(second.find("Content-Length: 1\r\n"), std::string::npos);
  EXPECT_EQ(platform.Records().size(), 2u);
  EXPECT_EQ(ui.asked.size(), 1u);

  // The answer is in the file: a new store reads it back.
  settings::OptionsStore reread(dir / "option.dat", nullptr, "/tmp/");
  EXPECT_EQ(reread.LoadOptions().AllowedHosts, std::vector<std::string>{"127.0.0.2"});
}

TEST_F(ServerTest, ADeniedDeviceGetsNothing) {
  ui.answer = false;
  Send("127.0.0.3", "x:0&y:0&a=a");
  for (int i = 0; i < 3; ++i) {
    const std::string reply = Send("127.0.0.3", "x:0&y:0&a=a");
    EXPECT_NE(reply.find("Content-Length: 0\r\n"), std::string::npos);
  }
  EXPECT_EQ(platform.Cursor(), (Point{100, 100}));
  EXPECT_EQ(platform.SetCursorCalls(), 0);
  EXPECT_EQ(ui.asked.size(), 1u);
  settings::OptionsStore reread(dir / "option.dat", nullptr, "/tmp/");
  EXPECT_EQ(reread.LoadOptions().DeniedHosts, std::vector<std::string>{"127.0.0.3"});
}

TEST_F(ServerTest, DisablingAccessControlServesEveryone) {
  live.Change([](settings::Options& o) { o.DisableAccessControl = true; });
  EXPECT_NE(Send("127.0.0.4", "x:0&y:0&a=a").find("Content-Length: 1\r\n"), std::string::npos);
  EXPECT_EQ(platform.Cursor(), (Point{960, 540}));
  EXPECT_TRUE(ui.asked.empty());
}

TEST_F(ServerTest, RepliesCarryNoPeerTextAndSayWhatTheyAre) {
  live.Change([](settings::Options& o) { o.AllowedHosts = {"127.0.0.1"}; });
  const auto header = test::ResponseHeader;
  const std::string error = Send("", "x:%3Cscript%3Ealert(1)%3C/script%3E&y:0&a=m");
  EXPECT_EQ(error.substr(9, 3), "500");
  EXPECT_EQ(header(error, "Content-Type"), "text/plain");
  EXPECT_EQ(error.find("script"), std::string::npos) << error;
  EXPECT_EQ(header(error, "X-Content-Type-Options"), "nosniff");

  platform.SetScreen({640, 480});
  const std::string snapshot = Send("", "x:0&y:0&a=ss");
  EXPECT_EQ(header(snapshot, "Content-Type"), "image/jpeg");
  EXPECT_EQ(header(snapshot, "X-Content-Type-Options"), "nosniff");
  EXPECT_EQ(snapshot.substr(snapshot.find("\r\n\r\n") + 4, 2), "\xFF\xD8");
  EXPECT_EQ(header(Send("", "x:0&y:0&a=mbl"), "X-Content-Type-Options"), "nosniff");
}

// The logic places the dot in screen coordinates; the front end gets the window's place on the desktop,
// whose corner is not the primary monitor's.
TEST_F(ServerTest, TheDotsWindowIsPlacedFromThePrimaryMonitorsCorner) {
  live.Change([](settings::Options& o) { o.DisableAccessControl = true; });
  platform.SetScreen({1920, 1080});
  platform.SetScreenOrigin({1280, 120});
  Send("127.0.0.5", "x:0.5&y:0.5&a=dabs");
  EXPECT_EQ(ui.overlays, (std::vector<Point>{{1280 + 952, 120 + 532}}));
}

TEST(DesktopUi, AddsTheScreenOriginToTheDotOnlyAndStopsAtTheIntegerRange) {
  FakePlatform platform;
  AnsweringUi ui;
  DesktopUi desktop(ui, platform);
  desktop.ShowPointerOverlay({10, -20});
  platform.SetScreenOrigin({-1920, 300});
  desktop.ShowPointerOverlay({10, -20});
  desktop.ShowPointerOverlay({INT_MIN + 5, INT_MAX - 5});
  EXPECT_EQ(ui.overlays, (std::vector<Point>{{10, -20}, {-1910, 280}, {INT_MIN, INT_MAX}}));
  EXPECT_EQ(desktop.AskAllowHost("10.0.0.1"), true);
  EXPECT_EQ(ui.asked, std::vector<std::string>{"10.0.0.1"});
}

}  // namespace
}  // namespace fernpad
