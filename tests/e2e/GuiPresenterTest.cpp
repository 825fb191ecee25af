#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "ServerProcess.h"
#include "XEventRecorder.h"
#include "XRandrLayout.h"
#include "Xvfb.h"
#include "imaging/Jpeg.h"
#include "platform/linux/X11Capture.h"
#include "settings/OptionsStore.h"

namespace fernpad::test {
namespace {

using namespace std::chrono_literals;

unsigned At(const Bitmap24& bmp, int x, int y) {
  const auto* p = bmp.Pixel(x, y);
  return static_cast<unsigned>(p[2]) << 16 | static_cast<unsigned>(p[1]) << 8 | p[0];
}

// Captures the screen until the condition holds (the GUI draws on its own time) or 10 s have passed.
bool ScreenShows(X11Capture& capture, const std::function<bool(const Bitmap24&)>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  Bitmap24 screen;
  do {
    capture.Capture(screen);
    if (condition(screen)) return true;
    std::this_thread::sleep_for(50ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

TEST(GuiPresenter, DotFollowsThePointerCommandsInThePointerColourWithoutTakingTheFocus) {
  Xvfb xvfb("1920x1080x24");
  PaintRoot(xvfb.Display(), 0, 0, 1920, 1080, 0x000000);
  XEventRecorder focused(xvfb.Display(), 0, 0, 200, 200);  // a window that has the keyboard focus

  ServerProcess::Options options;
  options.headless = false;
  options.prepare = [](const std::string& configDir) {
    settings::OptionsStore store(configDir + "/option.dat", nullptr, "/tmp/");
    settings::Options o;
    o.PointerColor = 0x00FF8000;  // colour reference: blue 0xFF, green 0x80, red 0
    o.AllowedHosts = {"127.0.0.1"};
    store.SaveOptions(o);
  };
  ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display(), options);
  X11Capture capture(xvfb.Display());
  const unsigned kDot = 0x0080FF;

  // Where the dot's window goes: its top-left corner 8 pixels up and left of the point.
  Curl(server.HttpPort(), "/?x:0.5&y:0.5&a=dabs");
  EXPECT_TRUE(ScreenShows(capture, [&](const Bitmap24&) {
    return RunWithDisplay(xvfb.Display(), "xwininfo -root -children").find(" 16x16+952+532 ") !=
           std::string::npos;
  }));

  // How it looks, away from the settings window (shown here: Xvfb has no tray to hide it in).
  Curl(server.HttpPort(), "/?x:0.25&y:0.25&a=mabs");
  EXPECT_TRUE(ScreenShows(capture, [&](const Bitmap24& s) { return At(s, 480, 270) == kDot; }));
  Bitmap24 screen;
  capture.Capture(screen);
  EXPECT_EQ(At(screen, 473, 270), kDot);
  EXPECT_EQ(At(screen, 486, 270), kDot);
  EXPECT_NE(At(screen, 472, 262), kDot);  // round: the square's corner is cut away
  EXPECT_NE(At(screen, 471, 270), kDot);
  EXPECT_NE(At(screen, 489, 270), kDot);

  // The focus stays where it was.
  Window focus = 0;
  int revert = 0;
  XGetInputFocus(focused.XDisplay(), &focus, &revert);
  EXPECT_EQ(focus, focused.XWindow());

  Curl(server.HttpPort(), "/?x:0&y:0&a=uabs");
  EXPECT_TRUE(ScreenShows(capture, [&](const Bitmap24& s) { return At(s, 480, 270) != kDot; }));
  EXPECT_EQ(server.Stop(), 0);
}

// With one X screen split into monitors, the dot's fractions are of the primary monitor and its window lies
// on it, wherever the primary monitor is on the screen.
TEST(GuiPresenter, DotLiesOnThePrimaryMonitor) {
  for (const SplitScreen& layout : SplitScreens()) {
    SCOPED_TRACE(layout.name);
    Xvfb xvfb(layout.screen);
    SetMonitors(xvfb.Display(), layout.monitors);
    ServerProcess::Options options;
    options.headless = false;
    ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display(), options);
    X11Capture capture(xvfb.Display());
    auto dotAt = [&](int x, int y) {
      const std::string geometry = " 16x16+" + std::to_string(x) + "+" + std::to_string(y) + " ";
      return ScreenShows(capture, [&](const Bitmap24&) {
        return RunWithDisplay(xvfb.Display(), "xwininfo -root -children").find(geometry) != std::string::npos;
      });
    };
    const MonitorSpec& primary = layout.primary;
    Curl(server.HttpPort(), "/?x:0.5&y:0.5&a=dabs");
    EXPECT_TRUE(dotAt(primary.x + primary.width / 2 - 8, primary.y + primary.height / 2 - 8))
        << RunWithDisplay(xvfb.Display(), "xwininfo -root -children");
    Curl(server.HttpPort(), "/?x:0.25&y:0.75&a=mabs");
    EXPECT_TRUE(dotAt(primary.x + primary.width / 4 - 8, primary.y + primary.height * 3 / 4 - 8))
        << RunWithDisplay(xvfb.Display(), "xwininfo -root -children");
    EXPECT_EQ(server.Stop(), 0);
  }
}

}  // namespace
}  // namespace fernpad::test
