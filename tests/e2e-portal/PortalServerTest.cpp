// End to end: the built program with the portal backend on a private headless GNOME desktop, its
// permission dialog answered as a person would, and on KDE; driven by curl, seen by a full-screen Wayland
// window that logs what reaches it.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <thread>

#include "Loopback.h"
#include "PortalDesk.h"
#include "ServerProcess.h"
#include "core/Bitmap24.h"
#include "imaging/Jpeg.h"

namespace fernpad::test {
namespace {

// mutter draws in software: on a busy machine an event takes seconds to reach the window.
constexpr auto kArrives = 15s;
// The portal, the desktop's part of it and its dialog start when the server first asks: seconds, or tens of
// seconds on a busy machine.
constexpr auto kDesktopAnswers = 60s;

class PortalServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!DesktopInstalled(Desktop::kGnome)) return;  // each test skips
    // A desktop that does not come up fails every test (gtest would report them as skipped).
    try {
      desk = new PortalDesk(Desktop::kGnome);
      window = new EventLog(desk->Socket(), "FF8000");
      if (!window->WaitFor("ready 1920 1080", 10s)) throw std::runtime_error("no window: " + window->Seen());
      approver = new DialogApprover(*desk);
      ServerProcess::Options options;
      options.extraArgs = {"--backend", "portal"};
      options.extraEnv = desk->Env();
      options.startTimeout = kDesktopAnswers;
      server = new ServerProcess(FERNPAD_SERVER_BINARY, "", options);
      if (!window->WaitFor("pointer", kArrives) || !window->WaitFor("keymap", kArrives))
        throw std::runtime_error("the window got no pointer or keyboard: " + window->Seen());
    } catch (const std::exception& e) {
      setUpError = e.what();
    }
  }
  static void TearDownTestSuite() {
    delete server;
    delete approver;
    delete window;
    delete desk;
  }
  void SetUp() override {
    if (!setUpError.empty()) FAIL() << setUpError;
    if (!desk) GTEST_SKIP() << "mutter, its portals or python3-pyatspi are not installed";
  }
  static std::string Get(const std::string& query) { return Curl(server->HttpPort(), "/?" + query); }

  static PortalDesk* desk;
  static EventLog* window;
  static DialogApprover* approver;
  static ServerProcess* server;
  static std::string setUpError;
};
PortalDesk* PortalServerTest::desk = nullptr;
EventLog* PortalServerTest::window = nullptr;
DialogApprover* PortalServerTest::approver = nullptr;
ServerProcess* PortalServerTest::server = nullptr;
std::string PortalServerTest::setUpError;

TEST_F(PortalServerTest, TheServerSaysTheDesktopAsksAtEachStart) {
  EXPECT_NE(server->StartLog().find("at every start"), std::string::npos) << server->StartLog();
}

TEST_F(PortalServerTest, AbsoluteAndRelativeMovesReachTheWindow) {
  Get("x:-100&y:50&a=a");
  EXPECT_TRUE(window->WaitFor("motion 860 590", kArrives)) << window->Seen();
  Get("x:15&y:-3&a=m");  // acceleration 1: 15 takes one step to 15.75
  EXPECT_TRUE(window->WaitFor("motion 876 587", kArrives)) << window->Seen();
  Get("x:-5000&y:-5000&a=m");  // stops at the corner, and the server knows it
  EXPECT_TRUE(window->WaitFor("motion 0 0", kArrives)) << window->Seen();
  Get("x:3&y:4&a=m");
  EXPECT_TRUE(window->WaitFor("motion 3 4", kArrives)) << window->Seen();
}

TEST_F(PortalServerTest, ButtonsAndWheelReachTheWindow) {
  const char* const steps[][2] = {
      {"x:0&y:0&a=mbl", "button 272 0"},
      {"x:0&y:0&a=mbr", "button 273 0"},
      {"x:0&y:0&a=mbm", "button 274 0"},
      {"x:0&y:1&a=scrollm", "discrete 0 1"},    // towards the user
      {"x:0&y:-2&a=scrollm", "discrete 0 -1"},  // two clicks arrive as two steps
      {"", "discrete 0 -1"},
  };
  for (const auto& s : steps) {
    if (*s[0]) Get(s[0]);
    EXPECT_TRUE(window->WaitFor(s[1], kArrives)) << s[0] << "\n" << window->Seen();
  }
}

TEST_F(PortalServerTest, TextTypesWhatTheLayoutHasAndSkipsTheRest) {
  Get("x:0&y:0&a=k&v=%20A%E9b");  // "Aéb" in Windows-1252; the desktop's US layout has no "é"
  EXPECT_TRUE(window->WaitFor("key A A", kArrives)) << window->Seen();
  EXPECT_TRUE(window->WaitFor("key b b", kArrives)) << window->Seen();
  EXPECT_EQ(window->Seen().find("key e"), std::string::npos) << window->Seen();
}

TEST_F(PortalServerTest, SnapshotShowsTheScreenAsItIsNow) {
  // The centre of the "a=ss" picture as red, green, blue ({-1} when there is no picture).
  const auto centre = [] {
    const std::string reply = Get("x:0&y:0&a=ss");
    const auto body = reply.find("\r\n\r\n");
    const Bitmap24 shot = body == std::string::npos ? Bitmap24() : DecodeJpeg(reply.substr(body + 4));
    if (shot.Width() == 0) return std::array<int, 3>{-1, -1, -1};
    const std::uint8_t* p = shot.Pixel(shot.Width() / 2, shot.Height() / 2);  // blue, green, red
    return std::array<int, 3>{p[2], p[1], p[0]};
  };
  const auto near = [](std::array<int, 3> a, std::array<int, 3> b) {
    for (int i = 0; i < 3; ++i)
      if (std::abs(a[i] - b[i]) > 8) return false;
    return true;
  };
  const auto first = centre();
  EXPECT_TRUE(near(first, {0xFF, 0x80, 0x00})) << first[0] << "," << first[1] << "," << first[2];
  // Another full-screen window on top: the desktop sends the new picture a moment after it is drawn.
  EventLog cover(desk->Socket(), "3060C0");
  ASSERT_TRUE(cover.WaitFor("ready 1920 1080", kArrives)) << cover.Seen();
  std::array<int, 3> now = centre();
  for (int i = 0; i < 50 && !near(now, {0x30, 0x60, 0xC0}); ++i) {
    std::this_thread::sleep_for(100ms);
    now = centre();
  }
  EXPECT_TRUE(near(now, {0x30, 0x60, 0xC0})) << now[0] << "," << now[1] << "," << now[2];
}

// The dialog's "Allow remote interaction" is off unless the user switches it on: the server then shares
// the screen only, and says why the mouse and keyboard do nothing.
TEST(GnomePortalWithoutInteractionTest, TheServerSaysInputWasNotAllowed) {
  if (!DesktopInstalled(Desktop::kGnome))
    GTEST_SKIP() << "mutter, its portals or python3-pyatspi are not installed";
  PortalDesk desk(Desktop::kGnome);
  DialogApprover approver(desk, false);
  ServerProcess::Options options;
  options.extraArgs = {"--backend", "portal"};
  options.extraEnv = desk.Env();
  options.startTimeout = kDesktopAnswers;
  ServerProcess server(FERNPAD_SERVER_BINARY, "", options);
  EXPECT_NE(server.StartLog().find("allowed no control of the mouse or keyboard"), std::string::npos)
      << server.StartLog();
}

// KDE grants the portal session without a dialog here, and its compositor takes the same input calls.
// (KWin's screen cast sends no frame on a virtual output without a GPU, so snapshots are not tried.)
TEST(KdePortalServerTest, InputReachesTheWindow) {
  if (!DesktopInstalled(Desktop::kKde))
    GTEST_SKIP() << "KWin, its portal or the Qt Wayland plugin are not installed";
  PortalDesk desk(Desktop::kKde);
  EventLog window(desk.Socket(), "3060C0");
  ASSERT_TRUE(window.WaitFor("ready 1920 1080", 10s)) << window.Seen();
  ServerProcess::Options options;
  options.extraArgs = {"--backend", "portal"};
  options.extraEnv = desk.Env();
  options.startTimeout = kDesktopAnswers;
  ServerProcess server(FERNPAD_SERVER_BINARY, "", options);
  const char* const steps[][2] = {
      {"x:-100&y:50&a=a", "motion 860 590"}, {"x:15&y:-3&a=m", "motion 876 587"},
      {"x:0&y:0&a=mbl", "button 272 0"},     {"x:0&y:0&a=mbr", "button 273 0"},
      {"x:0&y:0&a=k&v=%20Ab", "key A A"},    {"", "key b b"},
  };
  for (const auto& step : steps) {
    if (*step[0]) Curl(server.HttpPort(), std::string("/?") + step[0]);
    EXPECT_TRUE(window.WaitFor(step[1], kArrives)) << step[0] << "\n" << window.Seen();
  }
}

}  // namespace
}  // namespace fernpad::test
