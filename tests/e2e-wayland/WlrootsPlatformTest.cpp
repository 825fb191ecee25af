// The wlroots backend itself on a headless sway: what it injects, as a Wayland window receives it, and
// what it reads of the screen.
#include "platform/linux/wayland/WlrootsPlatform.h"

#include <gtest/gtest.h>

#include "WaylandDesk.h"

namespace fernpad::test {
namespace {

class WlrootsPlatformTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!SwayInstalled()) return;  // each test skips
    // A desktop that does not come up fails every test (gtest would report them as skipped).
    try {
      sway = new Sway;
      window = new EventLog(sway->Socket(), "3060C0");
      if (!window->WaitFor("ready 1920 1080", 10s)) throw std::runtime_error("no window: " + window->Seen());
      platform = new WlrootsPlatform(sway->Socket());
      // The window takes the pointer and the keyboard once the backend's virtual devices exist.
      if (!window->WaitFor("pointer") || !window->WaitFor("keymap"))
        throw std::runtime_error("the window got no pointer or keyboard: " + window->Seen());
    } catch (const std::exception& e) {
      setUpError = e.what();
    }
  }
  static void TearDownTestSuite() {
    delete platform;
    delete window;
    delete sway;
  }
  void SetUp() override {
    if (!setUpError.empty()) FAIL() << setUpError;
    if (!sway) GTEST_SKIP() << "sway is not installed";
  }
  static void Type(const std::string& bytes) {
    for (unsigned char c : bytes) {
      platform->BeginTypedCharacter(c);
      platform->SendKeyInput(0xFFFF, false);  // the records inside are not what types the character
      platform->SendKeyInput(0xFFFF, true);
      platform->EndTypedCharacter();
    }
  }

  static std::string setUpError;
  static Sway* sway;
  static EventLog* window;
  static WlrootsPlatform* platform;
};
std::string WlrootsPlatformTest::setUpError;
Sway* WlrootsPlatformTest::sway = nullptr;
EventLog* WlrootsPlatformTest::window = nullptr;
WlrootsPlatform* WlrootsPlatformTest::platform = nullptr;

TEST_F(WlrootsPlatformTest, ThePointerGoesWhereTheBackendSaysItIs) {
  EXPECT_EQ(platform->PrimaryScreenSize(), (Size{1920, 1080}));
  ASSERT_TRUE(platform->SetCursorPos({100, 200}));
  EXPECT_TRUE(window->WaitFor("motion 100 200")) << window->Seen();
  platform->MoveCursorBy(-30, 5);
  EXPECT_TRUE(window->WaitFor("motion 70 205")) << window->Seen();
  platform->MoveCursorBy(-5000, 99999);  // clamped to the output, as the known position is
  Point at;
  ASSERT_TRUE(platform->GetCursorPos(at));
  EXPECT_EQ(at, (Point{0, 1079}));
  EXPECT_TRUE(window->WaitFor("motion 0 1079")) << window->Seen();
}

TEST_F(WlrootsPlatformTest, ButtonsAndWheelArrive) {
  const struct {
    std::uint32_t flags;
    std::int32_t data;
    const char* line;
  } steps[] = {
      {mouse::kLeftDown, 0, "button 272 1"},   {mouse::kLeftUp, 0, "button 272 0"},
      {mouse::kRightDown, 0, "button 273 1"},  {mouse::kRightUp, 0, "button 273 0"},
      {mouse::kMiddleDown, 0, "button 274 1"}, {mouse::kMiddleUp, 0, "button 274 0"},
      {mouse::kWheel, 240, "discrete 0 -2"},  // away from the user: up
      {mouse::kWheel, -120, "discrete 0 1"},
  };
  for (const auto& s : steps) {
    platform->SendMouseInput(s.flags, s.data);
    EXPECT_TRUE(window->WaitFor(s.line)) << s.line << "\n" << window->Seen();
  }
}

TEST_F(WlrootsPlatformTest, KeysAndAnyTypedCharacterArrive) {
  platform->SendKeyInput('Q', false);
  platform->SendKeyInput('Q', true);
  EXPECT_TRUE(window->WaitFor("key q q")) << window->Seen();
  platform->SendKeyInput(0x10, false);  // Shift held: the letter key gives the capital
  platform->SendKeyInput('Q', false);
  platform->SendKeyInput('Q', true);
  platform->SendKeyInput(0x10, true);
  EXPECT_TRUE(window->WaitFor("key Q Q")) << window->Seen();
  Type("A\xE9\x80");  // "Aé€" in Windows-1252
  EXPECT_TRUE(window->WaitFor("key A A")) << window->Seen();
  EXPECT_TRUE(window->WaitFor("key eacute \xC3\xA9")) << window->Seen();
  EXPECT_TRUE(window->WaitFor("key EuroSign \xE2\x82\xAC")) << window->Seen();
}

TEST_F(WlrootsPlatformTest, CaptureReadsTheWindowsColours) {
  // A compositor drawing its cursor in software draws it into the captured frame too: keep it in a corner.
  platform->SetCursorPos({1919, 0});
  Bitmap24 shot;
  platform->CaptureScreen(shot);
  ASSERT_EQ(shot.Width(), 1920);
  ASSERT_EQ(shot.Height(), 1080);
  for (const Point p : {Point{0, 0}, Point{0, 1079}, Point{1919, 1079}, Point{960, 540}}) {
    const std::uint8_t* px = shot.Pixel(p.x, p.y);  // blue, green, red
    EXPECT_EQ(px[0], 0xC0) << p.x << "," << p.y;
    EXPECT_EQ(px[1], 0x60) << p.x << "," << p.y;
    EXPECT_EQ(px[2], 0x30) << p.x << "," << p.y;
  }
}

}  // namespace
}  // namespace fernpad::test
