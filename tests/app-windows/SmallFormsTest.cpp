// The presenter dot, the image window and the preview, driven through WinUi as the server drives them.
#include "app/win/SmallForms.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "ProgramSupport.h"
#include "app/win/WinUi.h"
#include "imaging/Jpeg.h"

namespace fernpad::app {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using wintest::PumpUntil;

Rect Of(const RECT& r) {
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

Rect WindowRect(HWND window) {
  RECT r{};
  ::GetWindowRect(window, &r);
  return Of(r);
}

// A plain top-level window standing for another program's window; counts the left clicks it gets.
class TargetWindow {
 public:
  explicit TargetWindow(RECT at) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = [](HWND w, UINT message, WPARAM wp, LPARAM lp) -> LRESULT {
      if (message == WM_LBUTTONDOWN)
        ++reinterpret_cast<TargetWindow*>(::GetWindowLongPtrW(w, GWLP_USERDATA))->clicks;
      return ::DefWindowProcW(w, message, wp, lp);
    };
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = L"FernpadTestTarget";
    ::RegisterClassExW(&windowClass);
    window = ::CreateWindowExW(WS_EX_TOPMOST, L"FernpadTestTarget", L"target", WS_POPUP | WS_VISIBLE, at.left,
                               at.top, at.right - at.left, at.bottom - at.top, nullptr, nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TargetWindow() { ::DestroyWindow(window); }
  HWND window = nullptr;
  int clicks = 0;
};

// A JPEG of one colour (blue, green, red bytes) in a folder of the test's own.
class PictureFiles : public ::testing::Test {
 protected:
  void TearDown() override { fs::remove_all(folder_); }
  std::string Write(const char* name, std::string bytes) {
    fs::create_directories(folder_);
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
    return (folder_ / name).string();
  }
  std::string Jpeg(const char* name, int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    Bitmap24 picture(width, height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        std::uint8_t* p = picture.Pixel(x, y);
        p[0] = b;
        p[1] = g;
        p[2] = r;
      }
    return Write(name, EncodeJpeg(picture, 95));
  }
  const fs::path folder_ =
      fs::temp_directory_path() / ("fernpad-pictures-" + std::to_string(::GetCurrentProcessId()));
};

// The monitor the system puts the window on.
RECT SystemMonitorOf(HWND window) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof(monitor);
  ::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  return monitor.rcMonitor;
}

// The colour on the screen at a point, as 0x00BBGGRR.
COLORREF ScreenPixel(int x, int y) {
  const HDC screen = ::GetDC(nullptr);
  const COLORREF c = ::GetPixel(screen, x, y);
  ::ReleaseDC(nullptr, screen);
  return c;
}

// Near enough for a JPEG of one colour.
bool Near(COLORREF a, COLORREF b) {
  return std::abs(GetRValue(a) - GetRValue(b)) < 24 && std::abs(GetGValue(a) - GetGValue(b)) < 24 &&
         std::abs(GetBValue(a) - GetBValue(b)) < 24;
}

TEST(SmallForms, PresenterDotIsRoundInThePointerColourAndLetsClicksThrough) {
  settings::LiveSettings settings;
  settings.Change([](settings::Options& o) { o.PointerColor = RGB(0, 0, 255); });
  TargetWindow target({100, 100, 400, 400});
  TPointerForm dot(settings);
  WinUi ui;
  ui.AttachForms(dot.Window(), nullptr, nullptr);

  // Shown at the commanded top-left corner, then moved while shown.
  for (const Point at : {Point{192, 232}, Point{-8, -8}, Point{250, 300}}) {
    ui.ShowPointerOverlay(at);
    ASSERT_TRUE(
        PumpUntil([&] { return ::IsWindowVisible(dot.Window()) && WindowRect(dot.Window()).left == at.x; }));
    EXPECT_EQ(WindowRect(dot.Window()), (Rect{at.x, at.y, 16, 16}));
  }
  EXPECT_EQ(dot.Fill(), RGB(0, 0, 255));
  const HRGN shape = ::CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(::GetWindowRgn(dot.Window(), shape), ERROR);
  EXPECT_TRUE(::PtInRegion(shape, 8, 8));   // the centre
  EXPECT_FALSE(::PtInRegion(shape, 0, 0));  // a corner of its box
  EXPECT_FALSE(::PtInRegion(shape, 15, 0));
  ::DeleteObject(shape);

  // A click at the dot's centre reaches the window below it.
  ::SetCursorPos(258, 308);
  INPUT click[2] = {};
  click[0].type = click[1].type = INPUT_MOUSE;
  click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ASSERT_EQ(::SendInput(2, click, sizeof(INPUT)), 2u);
  EXPECT_TRUE(PumpUntil([&] { return target.clicks == 1; }));

  ui.HidePointerOverlay();
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindowVisible(dot.Window()); }));
}

using ImageWindow = PictureFiles;

TEST_F(ImageWindow, CoversTheMainWindowsMonitorKeepsItsPictureOnABadFileAndCloses) {
  TargetWindow main({20, 20, 120, 120});
  TImageForm image(main.window);
  WinUi ui;
  ui.AttachForms(nullptr, image.Window(), nullptr);
  const RECT m = SystemMonitorOf(main.window);
  const int cx = (m.left + m.right) / 2, cy = (m.top + m.bottom) / 2;
  EXPECT_EQ(WindowRect(image.Window()), Rect{});  // no area before the first picture

  const struct {
    const char* what;
    std::function<void()> close;
  } closings[] = {
      {"by the handheld", [&] { ui.CloseImage(); }},
      {"by Escape",
       [&] {
         INPUT escape[2] = {};
         escape[0].type = escape[1].type = INPUT_KEYBOARD;
         escape[0].ki.wVk = escape[1].ki.wVk = VK_ESCAPE;
         escape[1].ki.dwFlags = KEYEVENTF_KEYUP;
         ::SendInput(2, escape, sizeof(INPUT));
       }},
  };
  for (const auto& c : closings) {
    ui.ShowImage(Jpeg("red.jpg", 40, 30, 0, 0, 255));
    ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(image.Window()) != FALSE; })) << c.what;
    EXPECT_EQ(WindowRect(image.Window()), Of(m)) << c.what;
    EXPECT_TRUE(PumpUntil([&] { return Near(ScreenPixel(cx, cy), RGB(255, 0, 0)); })) << c.what;
    EXPECT_EQ(ScreenPixel(m.left, m.top), RGB(0, 0, 0)) << c.what;  // the bars beside a 4:3 picture

    ui.ShowImage(Write("broken.jpg", "not a picture"));
    ui.ShowImage((folder_ / "missing.jpg").string());
    PumpUntil([] { return true; });  // both shown and painted
    EXPECT_TRUE(PumpUntil([&] { return Near(ScreenPixel(cx, cy), RGB(255, 0, 0)); }))
        << c.what;  // the picture before stays

    c.close();
    EXPECT_TRUE(PumpUntil([&] { return !::IsWindowVisible(image.Window()); })) << c.what;
    EXPECT_EQ(WindowRect(image.Window()).width, 0) << c.what;
  }
}

using Preview = PictureFiles;

TEST_F(Preview, SitsInTheBottomRightCornerAndClosesWhenItsTimerRunsOut) {
  TargetWindow main({20, 20, 120, 120});
  TForm4 preview(main.window, 300);
  WinUi ui;
  ui.AttachForms(nullptr, nullptr, preview.Window());
  const RECT monitor = SystemMonitorOf(main.window);

  ui.ShowPreview(Jpeg("photo.jpg", 64, 48, 0, 255, 0));
  ASSERT_TRUE(PumpUntil([&] { return ::IsWindowVisible(preview.Window()) != FALSE; }));
  RECT client{};
  ::GetClientRect(preview.Window(), &client);
  EXPECT_EQ(Of(client), (Rect{0, 0, 105, 105}));
  const Rect frame = WindowRect(preview.Window());
  EXPECT_EQ(frame.left + frame.width, monitor.right);
  EXPECT_EQ(frame.top + frame.height, monitor.bottom - 25);
  EXPECT_NE(::GetForegroundWindow(), preview.Window());  // a photo never takes the keyboard
  EXPECT_TRUE(PumpUntil([&] { return !::IsWindowVisible(preview.Window()); }));
}

}  // namespace
}  // namespace fernpad::app
