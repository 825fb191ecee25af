// End to end: photos sent to the built program's upload port, as the handheld's photo app sends them.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "../upload/StreamBytes.h"
#include "Loopback.h"
#include "ServerProcess.h"
#include "Xvfb.h"
#include "imaging/Jpeg.h"

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

TEST(UploadPhotoTest, PhotosAreStoredAsSentAndShownUpright) {
  Xvfb xvfb("640x480x24");
  ServerProcess::Options options;
  std::string pictures;
  options.prepare = [&](const std::string& config) {
    const fs::path home = fs::path(config).parent_path();
    pictures = (home / "pictures").string();
    fs::create_directories(pictures);
    fs::create_directories(home / "xdg-config");
    std::ofstream(home / "xdg-config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"" << pictures << "\"\n";
  };
  ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display(), options);
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

}  // namespace
}  // namespace fernpad::test
