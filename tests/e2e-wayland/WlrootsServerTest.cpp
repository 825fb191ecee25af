// End to end on a wlroots compositor: the built program with the wlroots backend under a headless sway,
// driven by curl, seen by a full-screen Wayland window that logs what reaches it.
#include <gtest/gtest.h>

#include "Loopback.h"
#include "ServerProcess.h"
#include "WaylandDesk.h"
#include "core/Bitmap24.h"
#include "imaging/Jpeg.h"

namespace fernpad::test {
namespace {

class WlrootsServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!SwayInstalled()) return;  // each test skips
    // A desktop that does not come up fails every test (gtest would report them as skipped).
    try {
      sway = new Sway;
      window = new EventLog(sway->Socket(), "FF8000");
      if (!window->WaitFor("ready 1920 1080", 10s)) throw std::runtime_error("no window: " + window->Seen());
      ServerProcess::Options options;
      options.extraArgs = {"--backend", "wlroots"};
      options.extraEnv = {"WAYLAND_DISPLAY=" + sway->Socket()};
      server = new ServerProcess(FERNPAD_SERVER_BINARY, "", options);
      if (!window->WaitFor("pointer") || !window->WaitFor("keymap"))
        throw std::runtime_error("the window got no pointer or keyboard: " + window->Seen());
    } catch (const std::exception& e) {
      setUpError = e.what();
    }
  }
  static void TearDownTestSuite() {
    delete server;
    delete window;
    delete sway;
  }
  void SetUp() override {
    if (!setUpError.empty()) FAIL() << setUpError;
    if (!sway) GTEST_SKIP() << "sway is not installed";
  }
  static std::string Get(const std::string& query) { return Curl(server->HttpPort(), "/?" + query); }

  static std::string setUpError;
  static Sway* sway;
  static EventLog* window;
  static ServerProcess* server;
};
std::string WlrootsServerTest::setUpError;
Sway* WlrootsServerTest::sway = nullptr;
EventLog* WlrootsServerTest::window = nullptr;
ServerProcess* WlrootsServerTest::server = nullptr;

TEST_F(WlrootsServerTest, AbsoluteAndRelativeMovesReachTheWindow) {
  Get("x:-100&y:50&a=a");
  EXPECT_TRUE(window->WaitFor("motion 860 590")) << window->Seen();
  Get("x:15&y:-3&a=m");  // acceleration 1: 15 takes one step to 15.75
  EXPECT_TRUE(window->WaitFor("motion 876 587")) << window->Seen();
  Get("x:-5000&y:-5000&a=m");  // stops at the corner, and the server knows it
  EXPECT_TRUE(window->WaitFor("motion 0 0")) << window->Seen();
  Get("x:3&y:4&a=m");
  EXPECT_TRUE(window->WaitFor("motion 3 4")) << window->Seen();
}

TEST_F(WlrootsServerTest, ButtonsAndWheelReachTheWindow) {
  const char* const steps[][2] = {
      {"x:0&y:0&a=mbl", "button 272 0"},       {"x:0&y:0&a=mbr", "button 273 0"},
      {"x:0&y:0&a=mbm", "button 274 0"},       {"x:0&y:1&a=scrollm", "discrete 0 1"},  // towards the user
      {"x:0&y:-2&a=scrollm", "discrete 0 -2"},
  };
  for (const auto& s : steps) {
    Get(s[0]);
    EXPECT_TRUE(window->WaitFor(s[1])) << s[0] << "\n" << window->Seen();
  }
}

TEST_F(WlrootsServerTest, TextTypesAnyCharacterWhateverTheLayout) {
  Get("x:0&y:0&a=k&v=%20A%E9%80");  // "Aé€" in Windows-1252
  EXPECT_TRUE(window->WaitFor("key A A")) << window->Seen();
  EXPECT_TRUE(window->WaitFor("key eacute \xC3\xA9")) << window->Seen();
  EXPECT_TRUE(window->WaitFor("key EuroSign \xE2\x82\xAC")) << window->Seen();
}

TEST_F(WlrootsServerTest, SnapshotShowsTheWindow) {
  Get("x:5000&y:-5000&a=m");  // sway draws its cursor into the frame: out of the way, to the top right corner
  const std::string reply = Get("x:0&y:0&a=ss");
  const auto body = reply.find("\r\n\r\n");
  ASSERT_NE(body, std::string::npos) << reply;
  const Bitmap24 shot = DecodeJpeg(reply.substr(body + 4));
  ASSERT_GT(shot.Width(), 0);
  const std::uint8_t* p = shot.Pixel(shot.Width() / 2, shot.Height() / 2);  // blue, green, red
  EXPECT_NEAR(p[2], 0xFF, 8);
  EXPECT_NEAR(p[1], 0x80, 8);
  EXPECT_NEAR(p[0], 0x00, 8);
}

}  // namespace
}  // namespace fernpad::test
