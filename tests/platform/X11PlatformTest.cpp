#include "platform/linux/X11Platform.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "XEventRecorder.h"
#include "XRandrLayout.h"
#include "Xvfb.h"

namespace fernpad {
namespace {

using test::RunWithDisplay;

TEST(X11Platform, CursorButtonsAndWheelOnOneScreen) {
  test::Xvfb xvfb("1280x800x24");
  X11Platform platform(xvfb.Display());
  EXPECT_EQ(platform.PrimaryScreenSize(), (Size{1280, 800}));
  EXPECT_EQ(platform.Monitors().front(), (Rect{0, 0, 1280, 800}));

  ASSERT_TRUE(platform.SetCursorPos({100, 200}));
  Point p;
  ASSERT_TRUE(platform.GetCursorPos(p));
  EXPECT_EQ(p, (Point{100, 200}));
  EXPECT_EQ(RunWithDisplay(xvfb.Display(), "xdotool getmouselocation --shell").substr(0, 12),
            "X=100\nY=200\n");

  test::XEventRecorder window(xvfb.Display(), 0, 0, 1280, 800);
  platform.SendMouseInput(mouse::kLeftDown, 0);
  platform.SendMouseInput(mouse::kLeftUp, 0);
  platform.SendMouseInput(mouse::kRightDown, 0);
  platform.SendMouseInput(mouse::kRightUp, 0);
  platform.SendMouseInput(mouse::kMiddleDown, 0);
  platform.SendMouseInput(mouse::kMiddleUp, 0);
  platform.SendMouseInput(0, 0);  // a record without flags injects nothing
  window.Collect();
  EXPECT_EQ(window.Buttons(), "+1 -1 +3 -3 +2 -2");

  // The wheel: whole notches are clicks of button 4 (away) or 5 (towards); fractions add up.
  window.Clear();
  platform.SendMouseInput(mouse::kWheel, 240);
  platform.SendMouseInput(mouse::kWheel, -120);
  platform.SendMouseInput(mouse::kWheel, 60);
  window.Collect();
  EXPECT_EQ(window.Buttons(), "+4 -4 +4 -4 +5 -5");
  platform.SendMouseInput(mouse::kWheel, 60);  // the second half notch completes a click
  platform.SendMouseInput(mouse::kWheel, -30);
  window.Collect();
  EXPECT_EQ(window.Buttons(), "+4 -4 +4 -4 +5 -5 +4 -4");

  // A huge amount turns a bounded number of clicks; the excess is dropped, not carried into later records.
  window.Clear();
  platform.SendMouseInput(mouse::kWheel, -mouse::kWheelDelta * 17895697);  // the most a record can carry
  platform.SendMouseInput(mouse::kWheel, 150);  // with the -30 still carried from above: one click
  window.Collect();
  std::string expected;
  for (int i = 0; i < X11Platform::kMaxWheelClicks; ++i) expected += "+5 -5 ";
  EXPECT_EQ(window.Buttons(), expected + "+4 -4");
}

TEST(X11Platform, CoordinatesCountFromThePrimaryMonitor) {
  // Xvfb has one output: light it with a mode smaller than the screen, away from the screen's corner, so
  // the primary monitor's corner is not the screen's.
  test::Xvfb xvfb("3000x1080x24");
  test::PlaceFirstCrtc(xvfb.Display(), 1000, 0, 2000, 1080);
  X11Platform platform(xvfb.Display());
  EXPECT_EQ(platform.PrimaryScreenSize(), (Size{2000, 1080}));
  EXPECT_EQ(platform.Monitors().front(), (Rect{0, 0, 2000, 1080}));

  ASSERT_TRUE(platform.SetCursorPos({960, 540}));
  EXPECT_EQ(RunWithDisplay(xvfb.Display(), "xdotool getmouselocation --shell").substr(0, 13),
            "X=1960\nY=540\n");
  ASSERT_TRUE(platform.SetCursorPos({500, 10}));
  Point p;
  ASSERT_TRUE(platform.GetCursorPos(p));
  EXPECT_EQ(p, (Point{500, 10}));
  EXPECT_EQ(RunWithDisplay(xvfb.Display(), "xdotool getmouselocation --shell").substr(0, 12),
            "X=1500\nY=10\n");
}

TEST(X11Platform, NoDisplayIsAnError) {
  EXPECT_THROW(X11Platform(":9999"), std::runtime_error);
}

TEST(PlatformHelpers, RunCommandReportsTheExitStatusWithoutAShell) {
  EXPECT_TRUE(RunCommand({"true"}));
  EXPECT_FALSE(RunCommand({"false"}));
  EXPECT_FALSE(RunCommand({"no-such-program-here"}));
  EXPECT_FALSE(RunCommand({}));
  EXPECT_TRUE(RunCommand({"test", "a;b", "=", "a;b"}));  // no shell: the ';' is a plain character
}

TEST(PlatformHelpers, InterfaceAddressesLeaveOutLoopback) {
  for (const auto& address : InterfaceIPv4Addresses()) {
    EXPECT_NE(address.rfind("127.", 0), 0u) << address;
    EXPECT_EQ(std::count(address.begin(), address.end(), '.'), 3) << address;
  }
}

TEST(PlatformHelpers, DecimalSeparatorFollowsTheNumericLocale) {
  const char* saved = std::getenv("LC_ALL");
  const std::string keep = saved ? saved : "";
  setenv("LC_ALL", "C", 1);
  EXPECT_EQ(LocaleDecimalSeparator(), '.');
  setenv("LC_ALL", "no_such_locale.UTF-8", 1);
  EXPECT_EQ(LocaleDecimalSeparator(), '.');  // unknown: the C default
  if (saved)
    setenv("LC_ALL", keep.c_str(), 1);
  else
    unsetenv("LC_ALL");
}

}  // namespace
}  // namespace fernpad
