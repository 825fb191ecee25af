#include "platform/linux/X11Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <vector>

#include "XEventRecorder.h"
#include "XRandrLayout.h"
#include "Xvfb.h"

namespace fernpad {

void PrintTo(const Rect& r, std::ostream* os) {
  *os << "{" << r.left << ", " << r.top << ", " << r.width << " x " << r.height << "}";
}
void PrintTo(const Size& s, std::ostream* os) {
  *os << s.width << " x " << s.height;
}

namespace {

using test::RunWithDisplay;

// Injected input is flushed, not waited for: a read of the pointer on the platform's own connection (a round
// trip) returns once the server has carried out everything sent before it, so other clients see it.
void Settle(X11Platform& platform) {
  Point ignored;
  platform.GetCursorPos(ignored);
}

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

  // Moves relative to the pointer, and far points, end where the X server clamps them: at the screen's
  // edge, never wrapped round by the protocol's 16-bit fields.
  const int kMax = std::numeric_limits<int>::max(), kMin = std::numeric_limits<int>::min();
  const struct {
    Point by;
    Point at;
  } moves[] = {{{5, -7}, {105, 193}},       {{-1000, 0}, {0, 193}}, {{40000, 0}, {1279, 193}},
               {{kMax, kMax}, {1279, 799}}, {{kMin, -1}, {0, 798}}, {{640, -399}, {640, 399}}};
  for (const auto& m : moves) {
    ASSERT_TRUE(platform.MoveCursorBy(m.by.x, m.by.y));
    ASSERT_TRUE(platform.GetCursorPos(p));
    EXPECT_EQ(p, m.at) << m.by.x << "," << m.by.y;
  }
  // Held input waits in the queue until it is flushed or released; another client sees the pointer stay.
  ASSERT_TRUE(platform.SetCursorPos({600, 400}));
  platform.HoldInput(true);
  ASSERT_TRUE(platform.MoveCursorBy(7, 3));
  EXPECT_EQ(test::ReadPointer(xvfb.Display()), (test::PointerLocation{600, 400}));
  platform.FlushInput();
  Settle(platform);
  EXPECT_EQ(test::ReadPointer(xvfb.Display()), (test::PointerLocation{607, 403}));
  ASSERT_TRUE(platform.MoveCursorBy(-7, -3));
  platform.HoldInput(false);
  Settle(platform);
  EXPECT_EQ(test::ReadPointer(xvfb.Display()), (test::PointerLocation{600, 400}));
  for (const Point far : {Point{40000, 100}, Point{kMax, kMin}, Point{-40000, 70000}}) {
    ASSERT_TRUE(platform.SetCursorPos(far));
    ASSERT_TRUE(platform.GetCursorPos(p));
    EXPECT_EQ(p, (Point{std::clamp(far.x, 0, 1279), std::clamp(far.y, 0, 799)})) << far.x << "," << far.y;
  }

  test::XEventRecorder window(xvfb.Display(), 0, 0, 1280, 800);
  platform.SendMouseInput(mouse::kLeftDown, 0);
  platform.SendMouseInput(mouse::kLeftUp, 0);
  platform.SendMouseInput(mouse::kRightDown, 0);
  platform.SendMouseInput(mouse::kRightUp, 0);
  platform.SendMouseInput(mouse::kMiddleDown, 0);
  platform.SendMouseInput(mouse::kMiddleUp, 0);
  platform.SendMouseInput(0, 0);  // a record without flags injects nothing
  Settle(platform);
  window.Collect();
  EXPECT_EQ(window.Buttons(), "+1 -1 +3 -3 +2 -2");

  // The wheel: whole notches are clicks of button 4 (away) or 5 (towards); fractions add up.
  window.Clear();
  platform.SendMouseInput(mouse::kWheel, 240);
  platform.SendMouseInput(mouse::kWheel, -120);
  platform.SendMouseInput(mouse::kWheel, 60);
  Settle(platform);
  window.Collect();
  EXPECT_EQ(window.Buttons(), "+4 -4 +4 -4 +5 -5");
  platform.SendMouseInput(mouse::kWheel, 60);  // the second half notch completes a click
  platform.SendMouseInput(mouse::kWheel, -30);
  Settle(platform);
  window.Collect();
  EXPECT_EQ(window.Buttons(), "+4 -4 +4 -4 +5 -5 +4 -4");

  // A huge amount turns a bounded number of clicks; the excess is dropped, not carried into later records.
  window.Clear();
  platform.SendMouseInput(mouse::kWheel, -mouse::kWheelDelta * 17895697);  // the most a record can carry
  platform.SendMouseInput(mouse::kWheel, 150);  // with the -30 still carried from above: one click
  Settle(platform);
  window.Collect();
  std::string expected;
  for (int i = 0; i < X11Platform::kMaxWheelClicks; ++i) expected += "+5 -5 ";
  EXPECT_EQ(window.Buttons(), expected + "+4 -4");
}

// Screen coordinates count from the primary monitor's corner, however RandR describes it: a CRTC smaller
// than the screen (Xvfb has one output), or one screen split into monitors as `xrandr --setmonitor` does.
TEST(X11Platform, CoordinatesCountFromThePrimaryMonitor) {
  struct Case {
    const char* name;
    const char* screen;
    std::function<void(const std::string&)> layout;
    Rect primary;                // in root-window coordinates
    std::vector<Rect> monitors;  // in screen coordinates, the primary first
  };
  const Case cases[] = {
      {"a CRTC away from the screen's corner",
       "3000x1080x24",
       [](const std::string& d) { test::PlaceFirstCrtc(d, 1000, 0, 2000, 1080); },
       {1000, 0, 2000, 1080},
       {{0, 0, 2000, 1080}}},
      {"two monitors, the primary on the left",
       "3200x1080x24",
       [](const std::string& d) {
         test::SetMonitors(d, {{0, 0, 1920, 1080, true, true}, {1920, 0, 1280, 1080}});
       },
       {0, 0, 1920, 1080},
       {{0, 0, 1920, 1080}, {1920, 0, 1280, 1080}}},
      {"two monitors, the primary right of and below the other",
       "3200x1200x24",
       [](const std::string& d) {
         test::SetMonitors(d, {{0, 0, 1280, 1024, false, true}, {1280, 120, 1920, 1080, true}});
       },
       {1280, 120, 1920, 1080},
       {{0, 0, 1920, 1080}, {-1280, -120, 1280, 1024}}},
      {"two monitors, none primary: the first",
       "3200x1080x24",
       [](const std::string& d) {
         test::SetMonitors(d, {{1920, 0, 1280, 1080}, {0, 0, 1920, 1080, false, true}});
       },
       {1920, 0, 1280, 1080},
       {{0, 0, 1280, 1080}, {-1920, 0, 1920, 1080}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Xvfb xvfb(c.screen);
    c.layout(xvfb.Display());
    X11Platform platform(xvfb.Display());
    EXPECT_EQ(platform.PrimaryScreenSize(), (Size{c.primary.width, c.primary.height}));
    EXPECT_EQ(platform.Monitors(), c.monitors);

    ASSERT_TRUE(platform.SetCursorPos({960, 540}));
    Settle(platform);
    EXPECT_EQ(test::ReadPointer(xvfb.Display()),
              (test::PointerLocation{c.primary.left + 960, c.primary.top + 540}));
    ASSERT_TRUE(platform.SetCursorPos({500, 10}));
    Point p;
    ASSERT_TRUE(platform.GetCursorPos(p));
    EXPECT_EQ(p, (Point{500, 10}));
    EXPECT_EQ(test::ReadPointer(xvfb.Display()),
              (test::PointerLocation{c.primary.left + 500, c.primary.top + 10}));
  }
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
