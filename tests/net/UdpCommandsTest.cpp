// The datagram port of a running Server on loopback, driven by plain sockets, with the fake platform.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "Loopback.h"
#include "UdpTestSocket.h"
#include "platform/fake/FakePlatform.h"
#include "server/Server.h"
#include "settings/OptionsStore.h"

namespace fernpad {
namespace {

using namespace std::chrono_literals;
using test::UdpTestSocket;
using Rec = FakePlatform::Record;

std::vector<std::uint8_t> Code(std::uint8_t code) {
  return {code};
}
std::vector<std::uint8_t> WithFloats(std::uint8_t code, float a, float b) {
  std::vector<std::uint8_t> bytes{code};
  for (float f : {a, b}) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return bytes;
}

// A key datagram for one virtual key: the handheld's escaped text starts with a group that is not typed.
std::vector<std::uint8_t> Key(std::uint8_t code, std::uint8_t vk) {
  static const char* const kHex = "0123456789ABCDEF";
  return {code,
          6,
          '%',
          '2',
          '0',
          '%',
          static_cast<std::uint8_t>(kHex[vk >> 4]),
          static_cast<std::uint8_t>(kHex[vk & 15])};
}

// Answers the security prompt as scripted; can hold it open until the test lets go.
class PromptUi : public NullUi {
 public:
  std::optional<bool> AskAllowHost(const std::string& address) override {
    std::unique_lock lock(mutex);
    asked.push_back(address);
    opened.notify_all();
    changed.wait_for(lock, 10s, [&] { return !hold; });
    if (unanswered) return std::nullopt;
    return answer;
  }
  std::mutex mutex;
  std::condition_variable opened, changed;
  std::vector<std::string> asked;
  bool answer = true;
  bool unanswered = false;
  bool hold = false;
};

class UdpCommandsTest : public ::testing::Test {
 protected:
  UdpCommandsTest()
      : dir(std::filesystem::temp_directory_path() / ("fernpad-udp-test-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(dir);
    store = std::make_unique<settings::OptionsStore>(dir / "option.dat", nullptr, "/tmp/");
    settings::Options options = store->LoadOptions();
    options.AllowedHosts = {"127.0.0.1"};
    options.DeniedHosts = {"127.0.0.3"};
    live.Load(options);
    settings::ConnectSaveHook(live, *store);
    ServerOptions serverOptions;
    serverOptions.bindAddress = "127.0.0.1";
    serverOptions.httpPort = 0;
    serverOptions.udpPort = 0;
    serverOptions.uploadPort = 0;
    serverOptions.udpAnswerPort = answers.Port();
    server = std::make_unique<Server>(platform, ui, live, serverOptions);
    server->Start();
    platform.SetCursor({100, 100});
  }
  ~UdpCommandsTest() override {
    {
      std::lock_guard lock(ui.mutex);
      ui.hold = false;
    }
    ui.changed.notify_all();
    server.reset();
    std::filesystem::remove_all(dir);
  }

  // A ping from the allowed sender, answered once every datagram sent before it has been handled.
  void Barrier() {
    allowed.SendTo(server->UdpPort(), Code(8));
    const auto ok = answers.Receive();
    ASSERT_TRUE(ok);
    ASSERT_EQ(ok->bytes, "ok!");
  }

  UdpTestSocket answers{"127.0.0.1"};  // the handheld's answer port
  UdpTestSocket allowed{"127.0.0.1"};  // sends from another port
  std::filesystem::path dir;
  FakePlatform platform;
  PromptUi ui;
  settings::LiveSettings live;
  std::unique_ptr<settings::OptionsStore> store;
  std::unique_ptr<Server> server;
};

TEST_F(UdpCommandsTest, DiscoveryAndPingAreAnsweredOnTheAnswerPort) {
  ASSERT_NE(allowed.Port(), answers.Port());
  allowed.SendTo(server->UdpPort(), Code(100));
  const auto found = answers.Receive();
  ASSERT_TRUE(found);
  EXPECT_EQ(found->bytes, std::string("QMXServer"));
  EXPECT_EQ(found->bytes.size(), 9u);
  allowed.SendTo(server->UdpPort(), Code(8));
  const auto ping = answers.Receive();
  ASSERT_TRUE(ping);
  EXPECT_EQ(ping->bytes, "ok!");
  EXPECT_FALSE(allowed.Receive(0ms));  // nothing went back to the source port
  EXPECT_FALSE(answers.Receive(0ms));
  EXPECT_TRUE(ui.asked.empty());
}

TEST_F(UdpCommandsTest, ADeniedSenderGetsNothing) {
  UdpTestSocket deniedAnswers("127.0.0.3", answers.Port());
  UdpTestSocket denied("127.0.0.3");
  denied.SendTo(server->UdpPort(), Code(100));
  denied.SendTo(server->UdpPort(), Code(8));
  denied.SendTo(server->UdpPort(), WithFloats(2, 50, 50));
  Barrier();
  EXPECT_FALSE(deniedAnswers.Receive(0ms));
  EXPECT_FALSE(denied.Receive(0ms));
  EXPECT_EQ(platform.Cursor(), (Point{100, 100}));
  EXPECT_TRUE(ui.asked.empty());
}

TEST_F(UdpCommandsTest, AnUnknownSenderIsAskedAboutWhileTheAllowedOneGoesOn) {
  UdpTestSocket unknownAnswers("127.0.0.4", answers.Port());
  UdpTestSocket unknown("127.0.0.4");
  {
    std::lock_guard lock(ui.mutex);
    ui.hold = true;
  }
  allowed.SendTo(server->UdpPort(), Key(11, 0x10));  // Shift down
  unknown.SendTo(server->UdpPort(), Code(100));
  {
    std::unique_lock lock(ui.mutex);
    ASSERT_TRUE(ui.opened.wait_for(lock, 10s, [&] { return !ui.asked.empty(); }));
  }
  // While the question is open the allowed sender is served (its Shift comes up again); the unknown one
  // gets nothing and no second question.
  allowed.SendTo(server->UdpPort(), Key(12, 0x10));
  unknown.SendTo(server->UdpPort(), Code(100));
  Barrier();
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::KeyDown(0x10), FakePlatform::KeyUp(0x10)}));
  EXPECT_FALSE(unknownAnswers.Receive(0ms));
  {
    std::lock_guard lock(ui.mutex);
    ui.hold = false;
  }
  ui.changed.notify_all();
  EXPECT_EQ(ui.asked, std::vector<std::string>{"127.0.0.4"});

  // After "Yes" the next discovery datagram is answered, and the answer is saved.
  for (int attempt = 0; attempt < 100; ++attempt) {
    unknown.SendTo(server->UdpPort(), Code(100));
    if (const auto found = unknownAnswers.Receive(100ms)) {
      EXPECT_EQ(found->bytes, "QMXServer");
      break;
    }
  }
  server->Stop();  // the save that follows the answer is complete
  settings::OptionsStore reread(dir / "option.dat", nullptr, "/tmp/");
  EXPECT_EQ(reread.LoadOptions().AllowedHosts, (std::vector<std::string>{"127.0.0.1", "127.0.0.4"}));
}

TEST_F(UdpCommandsTest, SpoofedSendersWithoutAnAnswerLeaveNoTraceAndCostTheAllowedNothing) {
  // Nobody answers here (as when the server runs without a terminal): floods of new addresses are refused
  // without a save, while every datagram of the allowed handheld is served.
  {
    std::lock_guard lock(ui.mutex);  // a question of the fixture's start may be reading it
    ui.unanswered = true;
  }
  const auto file = dir / "option.dat";
  auto stamp = [&] {
    return std::filesystem::exists(file) ? std::filesystem::last_write_time(file)
                                         : std::filesystem::file_time_type::min();
  };
  const auto before = stamp();
  std::vector<std::unique_ptr<UdpTestSocket>> spoofed;
  for (int i = 10; i < 60; ++i)
    spoofed.push_back(std::make_unique<UdpTestSocket>("127.0.0." + std::to_string(i)));
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    for (auto& s : spoofed) s->SendTo(server->UdpPort(), Code(100));
    allowed.SendTo(server->UdpPort(), WithFloats(2, 1, 0));
  }
  Barrier();
  EXPECT_EQ(platform.Cursor(), (Point{100 + kRounds, 100}));
  {
    std::lock_guard lock(ui.mutex);
    EXPECT_LE(ui.asked.size(), 2u);  // questions are spaced out
  }
  const auto o = live.Get();
  EXPECT_EQ(o.AllowedHosts, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(o.DeniedHosts, std::vector<std::string>{"127.0.0.3"});
  EXPECT_EQ(stamp(), before);  // never saved
}

TEST_F(UdpCommandsTest, APressOverUdpAndAReleaseOverHttpShareTheTapState) {
  allowed.SendTo(server->UdpPort(), std::vector<std::uint8_t>{1, 1});  // press, left
  Barrier();
  {
    std::lock_guard lock(server->Input().lock);
    EXPECT_NE(server->Input().taps.State().LastDownTime, input::Clock::time_point{});
  }
  test::HttpRequest(server->HttpPort(), "x:0&y:0&a=u");
  // A release within 0.25 s of the press would start the click timer; the machine may be slower than that,
  // so only what both paths share is checked: the release saw the press's position and time.
  std::lock_guard lock(server->Input().lock);
  const auto& taps = server->Input().taps.State();
  EXPECT_EQ(taps.DownX, 100);
  EXPECT_EQ(taps.UpX, 100);
  EXPECT_GT(taps.LastUpTime, taps.LastDownTime);
  // When the release came in time, the shared click timer clicks the left button.
  if (taps.LastUpTime - taps.LastDownTime < input::TapLogic::kTapWindow) {
    server->Input().lock.unlock();
    for (int i = 0; i < 500 && platform.Records().size() < 2; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(platform.Records(),
              (std::vector<Rec>{FakePlatform::MouseRec(0x2), FakePlatform::MouseRec(0x4)}));
    server->Input().lock.lock();
  }
}

}  // namespace
}  // namespace fernpad
