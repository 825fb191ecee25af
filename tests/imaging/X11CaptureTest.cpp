// X11Capture against private Xvfb servers: known colours drawn on the root window are read back exactly.
//
// Xvfb has one RandR output with one CRTC, so a layout with two lit CRTCs cannot be made on it. What it can
// do is place its CRTC anywhere on a larger screen with a mode of any size, and split the screen into RandR
// 1.5 monitors as `xrandr --setmonitor` does: the tests below use both for the "primary monitor is not at
// the screen's origin" case, and test the choice among several CRTCs with PrimaryMonitorRect directly.
#include "platform/linux/X11Capture.h"
#include "platform/linux/X11Monitors.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xrandr.h>

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

struct Rgb {
  int r, g, b;
};

// A second client that draws on the root window and changes the RandR layout.
class Painter {
 public:
  explicit Painter(const std::string& display) : name_(display), d_(XOpenDisplay(display.c_str())) {
    if (!d_) throw std::runtime_error("cannot open " + display);
    root_ = DefaultRootWindow(d_);
    gc_ = XCreateGC(d_, root_, 0, nullptr);
    visual_ = DefaultVisual(d_, DefaultScreen(d_));
  }
  ~Painter() {
    XFreeGC(d_, gc_);
    XCloseDisplay(d_);
  }

  unsigned long PixelOf(Rgb c) const {
    auto channel = [](unsigned long mask, int v) {
      int shift = 0, bits = 0;
      while (!((mask >> shift) & 1)) ++shift;
      while ((mask >> (shift + bits)) & 1) ++bits;
      return (static_cast<unsigned long>(v) >> (8 - bits)) << shift;
    };
    return channel(visual_->red_mask, c.r) | channel(visual_->green_mask, c.g) |
           channel(visual_->blue_mask, c.b);
  }

  void Fill(int x, int y, int w, int h, Rgb c) {
    XSetForeground(d_, gc_, PixelOf(c));
    XFillRectangle(d_, root_, gc_, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h));
    XSync(d_, False);
  }

  // Lights the one CRTC with a mode of w x h at (x, y), its output primary or not.
  void PlaceCrtc(int x, int y, int w, int h, bool primary = false) {
    test::PlaceFirstCrtc(name_, x, y, w, h, primary);
  }

  void DisableCrtc() {
    XRRScreenResources* res = XRRGetScreenResources(d_, root_);
    XRRSetCrtcConfig(d_, res, res->crtcs[0], CurrentTime, 0, 0, None, RR_Rotate_0, nullptr, 0);
    XRRFreeScreenResources(res);
    XSync(d_, False);
  }

  // Gives the root window a visible cursor and puts the pointer at (x, y).
  void Pointer(int x, int y) {
    XDefineCursor(d_, root_, XCreateFontCursor(d_, XC_crosshair));
    XWarpPointer(d_, None, root_, 0, 0, 0, 0, x, y);
    XSync(d_, False);
  }

 private:
  std::string name_;
  Display* d_;
  Window root_;
  GC gc_;
  Visual* visual_;
};

Rgb At(const Bitmap24& bmp, int x, int y) {
  const auto* p = bmp.Pixel(x, y);
  return {p[2], p[1], p[0]};
}
bool operator==(Rgb a, Rgb b) {
  return a.r == b.r && a.g == b.g && a.b == b.b;
}
std::ostream& operator<<(std::ostream& o, Rgb c) {
  return o << "rgb(" << c.r << "," << c.g << "," << c.b << ")";
}

constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255}, kOdd{18, 52, 86},
    kGrey{128, 129, 130};

// Four quadrants, one-pixel markers in the corners and an odd colour band, on a 640 x 480 screen.
void PaintQuadrants(Painter& p) {
  p.Fill(0, 0, 320, 240, kRed);
  p.Fill(320, 0, 320, 240, kGreen);
  p.Fill(0, 240, 320, 240, kBlue);
  p.Fill(320, 240, 320, 240, kGrey);
  p.Fill(100, 300, 441, 7, kOdd);
  p.Fill(0, 0, 1, 1, kWhite);
  p.Fill(639, 479, 1, 1, kWhite);
}
Rgb QuadrantColour(int x, int y) {
  if ((x == 0 && y == 0) || (x == 639 && y == 479)) return kWhite;
  if (x >= 100 && x < 541 && y >= 300 && y < 307) return kOdd;
  if (y < 240) return x < 320 ? kRed : kGreen;
  return x < 320 ? kBlue : kGrey;
}

void ExpectQuadrants(const Bitmap24& bmp) {
  ASSERT_EQ(bmp.Width(), 640);
  ASSERT_EQ(bmp.Height(), 480);
  int wrong = 0;
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) {
      if (!(At(bmp, x, y) == QuadrantColour(x, y)) && ++wrong <= 5) {
        ADD_FAILURE() << "pixel " << x << "," << y << " is " << At(bmp, x, y) << ", expected "
                      << QuadrantColour(x, y);
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Through shared memory, and with XGetImage when the server has no MIT-SHM.
TEST(X11Capture, ReadsTheScreenExactly) {
  for (const bool shared : {true, false}) {
    test::Xvfb xvfb("640x480x24", shared ? "" : "-extension MIT-SHM");
    Painter painter(xvfb.Display());
    PaintQuadrants(painter);
    X11Capture capture(xvfb.Display());
    Bitmap24 bmp;
    capture.Capture(bmp);
    EXPECT_EQ(capture.UsedSharedMemory(), shared);
    ExpectQuadrants(bmp);
    // Again into the same bitmap (and segment): a change on screen shows.
    painter.Fill(0, 0, 1, 1, kOdd);
    capture.Capture(bmp);
    EXPECT_EQ(At(bmp, 0, 0), kOdd);
    EXPECT_EQ(At(bmp, 1, 0), kRed);
  }
}

// Pixels of Xvfb's framebuffer file (XWD, 32 bits per pixel) around (x, y) that are not the colour c.
int FramebufferPixelsUnlike(const std::string& file, Rgb c, int x, int y, int radius) {
  std::ifstream in(file, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto field = [&](int i) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + 4 * i;
    return static_cast<size_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
  };
  if (data.size() < 100) return -1;
  const size_t start = field(0) + 12 * field(19);  // header, then the colour entries
  const size_t bytesPerLine = field(12);
  int unlike = 0;
  for (int py = y - radius; py < y + radius; ++py) {
    for (int px = x - radius; px < x + radius; ++px) {
      const size_t at = start + static_cast<size_t>(py) * bytesPerLine + 4 * static_cast<size_t>(px);
      if (at + 3 > data.size()) return -1;
      const auto* p = reinterpret_cast<const unsigned char*>(data.data()) + at;
      if (p[0] != c.b || p[1] != c.g || p[2] != c.r) ++unlike;
    }
  }
  return unlike;
}

TEST(X11Capture, LeavesTheCursorOut) {
  char dir[] = "/tmp/fernpad-fb-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string framebuffer = std::string(dir) + "/Xvfb_screen0";
  {
    test::Xvfb xvfb("640x480x24", std::string("-fbdir ") + dir);
    Painter painter(xvfb.Display());
    painter.Fill(0, 0, 640, 480, kGrey);
    painter.Pointer(320, 240);
    // The server draws the cursor into its framebuffer once it is idle: wait until it is there.
    int drawn = 0;
    for (int n = 0; n < 200 && drawn <= 0; ++n) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      drawn = FramebufferPixelsUnlike(framebuffer, kGrey, 320, 240, 40);
    }
    EXPECT_GT(drawn, 0) << "the cursor never showed in the framebuffer";

    X11Capture capture(xvfb.Display());
    Bitmap24 bmp;
    capture.Capture(bmp);
    for (int y = 200; y < 280; ++y) {
      for (int x = 280; x < 360; ++x) ASSERT_EQ(At(bmp, x, y), kGrey) << x << "," << y;
    }
  }
  std::remove(framebuffer.c_str());
  rmdir(dir);
}

TEST(X11Capture, SixteenBitScreensAreWidenedToEightBitChannels) {
  test::Xvfb xvfb("320x240x16");
  Painter painter(xvfb.Display());
  painter.Fill(0, 0, 100, 240, kRed);
  painter.Fill(100, 0, 100, 240, kGreen);
  painter.Fill(200, 0, 120, 240, kBlue);
  painter.Fill(0, 0, 1, 1, kWhite);
  X11Capture capture(xvfb.Display());
  Bitmap24 bmp;
  capture.Capture(bmp);
  ASSERT_EQ(bmp.Width(), 320);
  EXPECT_EQ(At(bmp, 50, 50), kRed);
  EXPECT_EQ(At(bmp, 150, 50), kGreen);
  EXPECT_EQ(At(bmp, 250, 50), kBlue);
  EXPECT_EQ(At(bmp, 0, 0), kWhite);
}

// The primary monitor lies right of and below other screen area; its top-left corner is the origin.
void PaintAroundMonitor(Painter& p) {
  p.Fill(0, 0, 640, 480, kRed);       // everything else
  p.Fill(200, 100, 320, 240, kBlue);  // the monitor
  p.Fill(200, 100, 1, 1, kWhite);     // its top-left pixel
  p.Fill(519, 339, 1, 1, kGreen);     // its bottom-right pixel
}
void ExpectMonitor(const Bitmap24& bmp) {
  ASSERT_EQ(bmp.Width(), 320);
  ASSERT_EQ(bmp.Height(), 240);
  for (int y = 0; y < 240; ++y) {
    for (int x = 0; x < 320; ++x) {
      const Rgb want = x == 0 && y == 0 ? kWhite : x == 319 && y == 239 ? kGreen : kBlue;
      ASSERT_EQ(At(bmp, x, y), want) << x << "," << y;
    }
  }
}

// The primary monitor, however RandR describes it: a RandR 1.5 monitor (one screen split with
// `xrandr --setmonitor`; the primary one, else the first), the primary output's CRTC, or without a primary
// output the first lit CRTC; both read methods.
TEST(X11Capture, ReadsOnlyThePrimaryMonitor) {
  struct Case {
    const char* name;
    std::function<void(Painter&, const std::string&)> layout;
    const char* extra;
  };
  const auto primaryCrtc = [](Painter& p, const std::string&) { p.PlaceCrtc(200, 100, 320, 240, true); };
  const auto primaryMonitor = [](Painter&, const std::string& d) {
    test::SetMonitors(d, {{0, 0, 200, 480, false, true}, {200, 100, 320, 240, true}});
  };
  const Case cases[] = {
      {"the primary output's CRTC", primaryCrtc, ""},
      {"the primary output's CRTC, without MIT-SHM", primaryCrtc, "-extension MIT-SHM"},
      {"the first lit CRTC", [](Painter& p, const std::string&) { p.PlaceCrtc(200, 100, 320, 240, false); },
       ""},
      {"the primary monitor", primaryMonitor, ""},
      {"the primary monitor, without MIT-SHM", primaryMonitor, "-extension MIT-SHM"},
      {"the first monitor when none is primary",
       [](Painter&, const std::string& d) {
         test::SetMonitors(d, {{200, 100, 320, 240}, {0, 0, 200, 480, false, true}});
       },
       ""},
      {"a primary monitor inside the primary output's CRTC",
       [](Painter& p, const std::string& d) {
         p.PlaceCrtc(0, 0, 640, 480, true);
         test::SetMonitors(d, {{200, 100, 320, 240, true}});
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::Xvfb xvfb("640x480x24", c.extra);
    Painter painter(xvfb.Display());
    c.layout(painter, xvfb.Display());
    PaintAroundMonitor(painter);
    X11Capture capture(xvfb.Display());
    Bitmap24 bmp;
    capture.Capture(bmp);
    ExpectMonitor(bmp);
  }
}

TEST(X11Capture, WithoutALitCrtcReadsTheWholeScreen) {
  test::Xvfb xvfb("640x480x24");
  Painter painter(xvfb.Display());
  painter.DisableCrtc();
  PaintQuadrants(painter);
  X11Capture capture(xvfb.Display());
  Bitmap24 bmp;
  capture.Capture(bmp);
  ExpectQuadrants(bmp);
}

TEST(X11Capture, FollowsLayoutChangesBetweenCalls) {
  test::Xvfb xvfb("640x480x24");
  Painter painter(xvfb.Display());
  PaintQuadrants(painter);
  X11Capture capture(xvfb.Display());
  Bitmap24 bmp;
  capture.Capture(bmp);
  ExpectQuadrants(bmp);

  painter.PlaceCrtc(200, 100, 320, 240);
  PaintAroundMonitor(painter);
  capture.Capture(bmp);  // a new, smaller segment
  EXPECT_TRUE(capture.UsedSharedMemory());
  ExpectMonitor(bmp);

  painter.PlaceCrtc(0, 0, 640, 480);
  PaintQuadrants(painter);
  capture.Capture(bmp);
  ExpectQuadrants(bmp);
}

TEST(X11Capture, CallsFromSeveralThreadsAreSerialised) {
  test::Xvfb xvfb("640x480x24");
  Painter painter(xvfb.Display());
  PaintQuadrants(painter);
  X11Capture capture(xvfb.Display());
  std::atomic<int> good{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int n = 0; n < 5; ++n) {
        Bitmap24 bmp;
        capture.Capture(bmp);
        if (bmp.Width() == 640 && bmp.Height() == 480 && At(bmp, 639, 479) == kWhite &&
            At(bmp, 400, 100) == kGreen)
          ++good;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(good, 20);
}

TEST(X11Capture, ALostServerMakesCaptureThrow) {
  // Xlib's own I/O error handler ends the process; a server installs one that returns, and then a capture
  // on a lost connection must fail with an exception, not crash.
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "libX11 unlocks the display twice on its I/O error path when the handler returns";
#endif
  const XIOErrorHandler previous = XSetIOErrorHandler([](Display*) { return 0; });
  std::optional<test::Xvfb> xvfb(std::in_place, "320x240x24");
  X11Capture capture(xvfb->Display());
  Bitmap24 bmp;
  capture.Capture(bmp);
  EXPECT_EQ(bmp.Width(), 320);
  xvfb.reset();  // the server goes away
  EXPECT_THROW(capture.Capture(bmp), std::runtime_error);
  EXPECT_THROW(capture.Capture(bmp), std::runtime_error);
  XSetIOErrorHandler(previous);
}

TEST(X11Capture, UnknownDisplayThrows) {
  EXPECT_THROW(X11Capture(":4999"), std::runtime_error);
}

// The choice among several monitors and CRTCs, also layouts Xvfb cannot make.
TEST(PrimaryMonitorRect, PrimaryMonitorWinsWhereverItLies) {
  X11MonitorLayout layout;
  layout.screen = {3200, 1200};
  layout.monitors = {{1280, 120, 1920, 1080}, {0, 0, 1280, 1024}};
  layout.primaryMonitor = Rect{1280, 120, 1920, 1080};  // right of and lower than the other monitor
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{1280, 120, 1920, 1080}));
  EXPECT_EQ(MonitorRects(layout), (std::vector<Rect>{{1280, 120, 1920, 1080}, {0, 0, 1280, 1024}}));
  layout.primaryCrtc = Rect{0, 0, 3200, 1200};  // the monitors come first
  layout.activeCrtcs = {{0, 0, 3200, 1200}};
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{1280, 120, 1920, 1080}));
}

TEST(PrimaryMonitorRect, FirstMonitorWithoutPrimary) {
  X11MonitorLayout layout;
  layout.screen = {3200, 1080};
  layout.monitors = {{1920, 0, 1280, 1080}, {0, 0, 1920, 1080}};
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{1920, 0, 1280, 1080}));
  layout.primaryMonitor = Rect{4000, 0, 100, 100};  // off the screen: the first monitor that is on it
  layout.monitors = {{4000, 0, 100, 100}, {0, 0, 1920, 1080}};
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{0, 0, 1920, 1080}));
}

TEST(PrimaryMonitorRect, PrimaryCrtcWinsWhereverItLiesWithoutMonitors) {
  X11MonitorLayout layout;
  layout.screen = {3200, 1200};
  layout.activeCrtcs = {{0, 0, 1280, 1024}, {1280, 120, 1920, 1080}};
  layout.primaryCrtc = Rect{1280, 120, 1920, 1080};  // right of and lower than the other monitor
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{1280, 120, 1920, 1080}));
  EXPECT_EQ(MonitorRects(layout), (std::vector<Rect>{{1280, 120, 1920, 1080}, {0, 0, 1280, 1024}}));
  layout.activeCrtcs = {{0, 1080, 1920, 1080}, {0, 0, 1920, 1080}};
  layout.screen = {1920, 2160};
  layout.primaryCrtc = Rect{0, 1080, 1920, 1080};  // below the other monitor
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{0, 1080, 1920, 1080}));
}

TEST(PrimaryMonitorRect, FirstLitCrtcWithoutPrimary) {
  X11MonitorLayout layout;
  layout.screen = {3840, 1080};
  layout.activeCrtcs = {{1920, 0, 1920, 1080}, {0, 0, 1920, 1080}};
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{1920, 0, 1920, 1080}));
}

TEST(PrimaryMonitorRect, WholeScreenWithoutMonitorsOrCrtcs) {
  X11MonitorLayout layout;
  layout.screen = {1024, 768};
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{0, 0, 1024, 768}));
  EXPECT_EQ(MonitorRects(layout), (std::vector<Rect>{{0, 0, 1024, 768}}));
}

TEST(PrimaryMonitorRect, RectanglesAreClippedToTheScreen) {
  X11MonitorLayout layout;
  layout.screen = {1000, 800};
  layout.primaryMonitor = Rect{900, -10, 300, 300};
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{900, 0, 100, 290}));
  layout.primaryMonitor.reset();
  layout.primaryCrtc = Rect{900, -10, 300, 300};
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{900, 0, 100, 290}));
  layout.primaryCrtc = Rect{1000, 0, 300, 300};  // wholly off screen: the next candidate
  layout.activeCrtcs = {{2000, 0, 10, 10}, {0, 0, 500, 400}};
  EXPECT_EQ(PrimaryMonitorRect(layout), (Rect{0, 0, 500, 400}));
  layout.screen = {0, 0};
  layout.activeCrtcs.clear();
  const Rect empty = PrimaryMonitorRect(layout);
  EXPECT_EQ(empty.width * empty.height, 0);
}

}  // namespace
}  // namespace fernpad
