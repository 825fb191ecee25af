// End to end: photos sent to the built program's upload port, as the handheld's photo app sends them.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../upload/StreamBytes.h"
#include "Desktop.h"
#include "Loopback.h"
#include "ServerProcess.h"
#include "Xvfb.h"
#include "imaging/Jpeg.h"
#include "platform/linux/X11Capture.h"

namespace fernpad::test {
namespace {

namespace fs = std::filesystem;
using upload::test::Wire;

struct Rgb {
  std::uint8_t r, g, b;
};
constexpr Rgb kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255}, kWhite{255, 255, 255};

// 64 x 32, one colour per quarter: red top left, green top right, blue bottom left, white bottom right.
std::string QuarterPhoto(int orientation) {
  Bitmap24 picture(64, 32);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 64; ++x) {
      const Rgb c = y < 16 ? (x < 32 ? kRed : kGreen) : (x < 32 ? kBlue : kWhite);
      std::uint8_t* p = picture.Pixel(x, y);
      p[0] = c.b, p[1] = c.g, p[2] = c.r;
    }
  const std::string jpeg = EncodeJpeg(picture, 95);
  // APP1 with a little-endian EXIF block holding only the orientation.
  std::string exif = std::string("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24);
  exif += {static_cast<char>(orientation), 0, 0, 0, 0, 0, 0, 0};
  const std::size_t length = exif.size() + 2;
  const std::string app1 = std::string("\xFF\xE1") + char(length >> 8) + char(length & 0xFF) + exif;
  return jpeg.substr(0, 2) + app1 + jpeg.substr(2);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Waits (up to 20 s) until the file exists; the server only ever renames complete files into place.
bool WaitForFile(const fs::path& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!fs::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool Near(const std::uint8_t* bgr, Rgb c) {
  return std::abs(bgr[2] - c.r) < 40 && std::abs(bgr[1] - c.g) < 40 && std::abs(bgr[0] - c.b) < 40;
}

// Server options whose pictures folder (the default upload folder) is "pictures" in the test's folder.
ServerProcess::Options WithPicturesFolder(std::string& pictures) {
  ServerProcess::Options options;
  options.prepare = [&pictures](const std::string& config) {
    const fs::path home = fs::path(config).parent_path();
    pictures = (home / "pictures").string();
    fs::create_directories(pictures);
    fs::create_directories(home / "xdg-config");
    std::ofstream(home / "xdg-config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"" << pictures << "\"\n";
  };
  return options;
}

TEST(UploadPhotoTest, PhotosAreStoredAsSentAndShownUpright) {
  Xvfb xvfb("640x480x24");
  std::string pictures;
  ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display(), WithPicturesFolder(pictures));
  ASSERT_NE(server.UploadPort(), 0);
  const fs::path shown = fs::path(FERNPAD_SERVER_BINARY).parent_path() / "temp.jpg";
  const int fd = ConnectLoopback(static_cast<std::uint16_t>(server.UploadPort()));

  struct Case {
    int orientation;
    int width, height;
    Rgb topLeft, topRight, bottomLeft, bottomRight;  // of the photo shown
  };
  const Case cases[] = {
      {1, 64, 32, kRed, kGreen, kBlue, kWhite},
      {3, 64, 32, kWhite, kBlue, kGreen, kRed},
      {6, 32, 64, kBlue, kRed, kWhite, kGreen},
      {8, 32, 64, kGreen, kWhite, kRed, kBlue},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.orientation);
    const std::string photo = QuarterPhoto(c.orientation);
    fs::remove(shown);
    const std::string name = "photo-" + std::to_string(c.orientation) + ".jpg";
    const auto bytes = Wire()
                           .Int(1)
                           .Int(int(photo.size()))
                           .Raw(photo)
                           .Int(5)
                           .Str("phone-1")
                           .Str("Phone")
                           .Str(name)
                           .Int(int(photo.size()))
                           .Raw(photo)
                           .Bytes();
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));

    ASSERT_TRUE(WaitForFile(fs::path(pictures) / name));
    EXPECT_TRUE(ReadFile(fs::path(pictures) / name) == photo);
    ASSERT_TRUE(WaitForFile(shown));
    const std::string shownBytes = ReadFile(shown);
    if (c.orientation == 1) {
      EXPECT_TRUE(shownBytes == photo);
    }
    const Bitmap24 upright = DecodeJpeg(shownBytes);
    ASSERT_EQ(upright.Width(), c.width);
    ASSERT_EQ(upright.Height(), c.height);
    const int r = c.width - 4, b = c.height - 4;
    EXPECT_TRUE(Near(upright.Pixel(3, 3), c.topLeft));
    EXPECT_TRUE(Near(upright.Pixel(r, 3), c.topRight));
    EXPECT_TRUE(Near(upright.Pixel(3, b), c.bottomLeft));
    EXPECT_TRUE(Near(upright.Pixel(r, b), c.bottomRight));
  }
  ::close(fd);
  fs::remove(shown);
}

// The windows of the photo app's commands, on a desktop with a window manager and a tray, as a user sees
// them: the picture upright over the whole monitor, the question about a new device, and the preview in the
// corner that goes away by itself.
TEST(UploadPhotoTest, TheDesktopShowsThePhotoWindows) {
  Xvfb xvfb("800x600x24");
  IceWm wm(xvfb.Display(), true);
  std::string pictures;
  ServerProcess::Options options = WithPicturesFolder(pictures);
  options.headless = false;
  ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display(), options);
  DesktopView view(xvfb.Display());
  X11Capture capture(xvfb.Display());
  const int fd = ConnectLoopback(static_cast<std::uint16_t>(server.UploadPort()));
  auto send = [&](const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), ssize_t(bytes.size()));
  };

  // Turned upright (32 x 64), fitted to the 600 pixels of height and centred: x 250 to 550.
  const std::string photo = QuarterPhoto(6);
  send(Wire().Int(1).Int(int(photo.size())).Raw(photo).Bytes());
  Window image = 0;
  ASSERT_TRUE(
      WaitUntil([&] { return (image = view.Find("ImageForm", "fernpad-server")) && view.Viewable(image); }));
  EXPECT_TRUE(WaitUntil([&] {
    return view.Geometry(view.Frame(image)) == DesktopView::Box{0, 0, 800, 600};
  })) << view.Geometry(view.Frame(image)).width
      << "x" << view.Geometry(view.Frame(image)).height;
  const struct {
    int x, y;
    Rgb colour;
  } points[] = {{325, 150, kBlue},  {475, 150, kRed},      {325, 450, kWhite},
                {475, 450, kGreen}, {100, 300, {0, 0, 0}}, {700, 590, {0, 0, 0}}};
  EXPECT_TRUE(WaitUntil([&] {
    Bitmap24 screen;
    capture.Capture(screen);
    for (const auto& p : points)
      if (!Near(screen.Pixel(p.x, p.y), p.colour)) return false;
    return true;
  }));
  send(Wire().Int(3).Bytes());
  EXPECT_TRUE(WaitUntil([&] { return !view.Viewable(image); }));

  // A new device: the question opens where the program started; OK takes that folder.
  send(Wire().Int(5).Str("cam-1").Str("Camera").Str("first.jpg").Int(int(photo.size())).Raw(photo).Bytes());
  Window question = 0;
  ASSERT_TRUE(WaitUntil([&] {
    return (question = view.Find("New device detected", "fernpad-server")) && view.Viewable(question);
  }));
  EXPECT_FALSE(fs::exists(server.Home() + "/first.jpg"));  // the photo waits for the answer
  RunWithDisplay(xvfb.Display(), "xdotool windowactivate --sync " + std::to_string(question) + " key Return");
  ASSERT_TRUE(WaitForFile(server.Home() + "/first.jpg"));
  EXPECT_TRUE(ReadFile(server.Home() + "/first.jpg") == photo);

  // The preview: in the corner above the task bar's 25 pixels, gone 10 s after the last photo.
  Window preview = 0;
  ASSERT_TRUE(WaitUntil(
      [&] { return (preview = view.Find("Preview", "fernpad-server")) && view.Viewable(preview); }));
  EXPECT_TRUE(WaitUntil([&] {
    const DesktopView::Box frame = view.Geometry(view.Frame(preview));
    return frame.x + frame.width == 800 && frame.y + frame.height == 575;
  }));
  // Without the device's identification a photo goes to the device selected last.
  send(Wire().Int(4).Str("second.jpg").Int(int(photo.size())).Raw(photo).Bytes());
  ASSERT_TRUE(WaitForFile(server.Home() + "/second.jpg"));
  EXPECT_TRUE(view.Viewable(preview));
  EXPECT_TRUE(WaitUntil([&] { return !view.Viewable(preview); }, std::chrono::seconds(15)));
  ::close(fd);
  EXPECT_EQ(server.Stop(), 0);
}

}  // namespace
}  // namespace fernpad::test
