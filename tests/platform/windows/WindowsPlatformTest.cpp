// The Windows backend under wine, on the Xvfb that scripts/test-windows.sh starts (1280 x 800, US
// keyboard), its root window painted in FERNPAD_ROOT_COLOUR (six hexadecimal digits, red first) by the
// test that runs before this one.
#include "platform/windows/WindowsPlatform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace fernpad {
namespace {

constexpr Size kScreen{1280, 800};

TEST(WindowsPlatform, CursorGoesWhereItIsSetWithinTheScreen) {
  struct Case {
    Point set;
    Point read;
  };
  const Case cases[] = {
      {{321, 123}, {321, 123}},    {{0, 0}, {0, 0}},       {{1279, 799}, {1279, 799}},
      {{5000, 5000}, {1279, 799}}, {{-40, 300}, {0, 300}},
  };
  WindowsPlatform platform;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.set.x) + "," + std::to_string(c.set.y));
    EXPECT_TRUE(platform.SetCursorPos(c.set));
    Point at{-1, -1};
    ASSERT_TRUE(platform.GetCursorPos(at));
    EXPECT_EQ(at, c.read);
  }
}

TEST(WindowsPlatform, ScreenIsThePrimaryMonitor) {
  WindowsPlatform platform;
  EXPECT_EQ(platform.PrimaryScreenSize(), kScreen);
  const auto monitors = platform.Monitors();
  ASSERT_FALSE(monitors.empty());
  EXPECT_EQ(monitors.front(), (Rect{0, 0, kScreen.width, kScreen.height}));
}

TEST(WindowsPlatform, CaptureReadsTheScreenAsBlueGreenRed) {
  const char* colour = std::getenv("FERNPAD_ROOT_COLOUR");
  ASSERT_NE(colour, nullptr) << "the root window's colour is not given";
  const unsigned long rgb = std::strtoul(colour, nullptr, 16);
  WindowsPlatform platform;
  Bitmap24 picture;
  platform.CaptureScreen(picture);
  ASSERT_EQ(picture.Width(), kScreen.width);
  ASSERT_EQ(picture.Height(), kScreen.height);
  for (const Point p : {Point{0, 0}, Point{640, 400}, Point{1279, 799}, Point{1000, 17}}) {
    SCOPED_TRACE(std::to_string(p.x) + "," + std::to_string(p.y));
    const std::uint8_t* pixel = picture.Pixel(p.x, p.y);
    EXPECT_EQ(pixel[0], rgb & 0xFF);
    EXPECT_EQ(pixel[1], (rgb >> 8) & 0xFF);
    EXPECT_EQ(pixel[2], (rgb >> 16) & 0xFF);
  }
}

TEST(WindowsPlatform, KeysOfTheUsLayout) {
  struct Case {
    char c;
    std::int16_t key;  // virtual key, shift state in the high byte
  };
  const Case cases[] = {
      {'a', 0x41}, {'A', 0x141}, {'1', 0x31}, {'!', 0x131}, {' ', 0x20}, {'/', 0xBF}, {'?', 0x1BF},
  };
  WindowsPlatform platform;
  EXPECT_EQ(platform.KeyboardLayoutName(), "00000409");
  for (const Case& c : cases) {
    EXPECT_EQ(platform.VkKeyScan(static_cast<std::uint8_t>(c.c)), c.key) << c.c;
  }
}

TEST(WindowsPlatform, AddressesLeaveOutLoopback) {
  WindowsPlatform platform;
  for (const std::string& address : platform.LocalIPv4Addresses()) {
    EXPECT_NE(address.rfind("127.", 0), 0u) << address;
  }
}

}  // namespace
}  // namespace fernpad
