#include <gtest/gtest.h>

#include <cstdlib>

#include "ServerProcess.h"
#include "XRandrLayout.h"
#include "Xvfb.h"
#include "imaging/Jpeg.h"
#include "settings/OptionsStore.h"

namespace fernpad::test {
namespace {

constexpr unsigned kRed = 0xE02020, kGreen = 0x20C040, kBlue = 0x2040E0, kWhite = 0xFFFFFF, kGrey = 0x808080;

// Splits a curl -i response into its head and body.
std::pair<std::string, std::string> Split(const std::string& response) {
  const auto end = response.find("\r\n\r\n");
  if (end == std::string::npos) return {response, {}};
  return {response.substr(0, end + 4), response.substr(end + 4)};
}

// The colour at (x, y) of a decoded picture, as 0xRRGGBB.
unsigned At(const Bitmap24& bmp, int x, int y) {
  const auto* p = bmp.Pixel(x, y);
  return static_cast<unsigned>(p[2]) << 16 | static_cast<unsigned>(p[1]) << 8 | p[0];
}

bool Near(unsigned a, unsigned b, int tolerance = 24) {
  for (int shift : {0, 8, 16})
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > tolerance)
      return false;
  return true;
}

// A screen in four coloured quadrants.
void PaintQuadrants(const std::string& display, int width, int height) {
  PaintRoot(display, 0, 0, width / 2, height / 2, kRed);
  PaintRoot(display, width / 2, 0, width - width / 2, height / 2, kGreen);
  PaintRoot(display, 0, height / 2, width / 2, height - height / 2, kBlue);
  PaintRoot(display, width / 2, height / 2, width - width / 2, height - height / 2, kWhite);
}

void ExpectQuadrants(const Bitmap24& bmp) {
  const int w = bmp.Width(), h = bmp.Height();
  EXPECT_TRUE(Near(At(bmp, w / 4, h / 4), kRed)) << std::hex << At(bmp, w / 4, h / 4);
  EXPECT_TRUE(Near(At(bmp, 3 * w / 4, h / 4), kGreen)) << std::hex << At(bmp, 3 * w / 4, h / 4);
  EXPECT_TRUE(Near(At(bmp, w / 4, 3 * h / 4), kBlue)) << std::hex << At(bmp, w / 4, 3 * h / 4);
  EXPECT_TRUE(Near(At(bmp, 3 * w / 4, 3 * h / 4), kWhite)) << std::hex << At(bmp, 3 * w / 4, 3 * h / 4);
}

Bitmap24 Snapshot(ServerProcess& server, const std::string& command) {
  const auto [head, body] = Split(Curl(server.HttpPort(), "/?x:0&y:0&" + command));
  EXPECT_NE(head.find("200 OK"), std::string::npos) << head;
  EXPECT_NE(head.find("Content-Length: " + std::to_string(body.size()) + "\r\n"), std::string::npos) << head;
  EXPECT_EQ(body.substr(0, 2), "\xFF\xD8");  // the JPEG start-of-image marker
  return DecodeJpeg(body);
}

void WriteSmoothOption(const std::string& configDir) {
  settings::OptionsStore store(configDir + "/option.dat", nullptr, "/tmp/");
  settings::Options o;
  o.SmoothImage = true;
  o.AllowedHosts = {"127.0.0.1"};
  store.SaveOptions(o);
}

TEST(HttpSnapshot, PlainPathScalesTheWholeScreenToTheTargetSize) {
  Xvfb xvfb("1920x1080x24");
  PaintQuadrants(xvfb.Display(), 1920, 1080);
  ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display());
  Curl(server.HttpPort(), "/?x:-300&y:-200&a=a");
  const Bitmap24 small = Snapshot(server, "a=ss");
  EXPECT_EQ(small.Width(), 400);
  EXPECT_EQ(small.Height(), 300);
  ExpectQuadrants(small);
  const Bitmap24 pad = Snapshot(server, "a=ssPad");
  EXPECT_EQ(pad.Width(), 1024);
  EXPECT_EQ(pad.Height(), 768);
  ExpectQuadrants(pad);
  // The snapshots leave the pointer where it was.
  EXPECT_EQ(RunWithDisplay(xvfb.Display(), "xdotool getmouselocation --shell").substr(0, 12),
            "X=660\nY=340\n");
}

TEST(HttpSnapshot, SmoothPathAveragesOnlyWhenTheScreenIsLarger) {
  Xvfb xvfb("1280x720x24");
  PaintQuadrants(xvfb.Display(), 1280, 720);
  ServerProcess::Options options;
  options.prepare = WriteSmoothOption;
  ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display(), options);
  const Bitmap24 small = Snapshot(server, "a=ss");  // wider and taller than 400 x 300: shrunk
  EXPECT_EQ(small.Width(), 400);
  EXPECT_EQ(small.Height(), 300);
  ExpectQuadrants(small);
  const Bitmap24 pad = Snapshot(server, "a=ssPad");  // wider but not taller than 1024 x 768: the screen as is
  EXPECT_EQ(pad.Width(), 1280);
  EXPECT_EQ(pad.Height(), 720);
  ExpectQuadrants(pad);
  // The edge between two quadrants is averaged, not a hard step.
  const unsigned edge = At(small, 200, 75);
  EXPECT_FALSE(Near(edge, kRed, 8) || Near(edge, kGreen, 8)) << std::hex << edge;
}

TEST(HttpSnapshot, OnlyThePrimaryMonitorIsInThePicture) {
  Xvfb xvfb("1920x1080x24");
  PaintRoot(xvfb.Display(), 0, 0, 1920, 1080, kGrey);
  PlaceFirstCrtc(xvfb.Display(), 400, 200, 800, 600);  // a monitor whose corner is not the screen's
  PaintRoot(xvfb.Display(), 400, 200, 400, 300, kRed);
  PaintRoot(xvfb.Display(), 800, 200, 400, 300, kGreen);
  PaintRoot(xvfb.Display(), 400, 500, 400, 300, kBlue);
  PaintRoot(xvfb.Display(), 800, 500, 400, 300, kWhite);
  ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display());
  const Bitmap24 pad = Snapshot(server, "a=ssPad");
  ExpectQuadrants(pad);
  for (auto [x, y] : {std::pair{2, 2}, std::pair{1021, 2}, std::pair{2, 765}, std::pair{1021, 765}})
    EXPECT_FALSE(Near(At(pad, x, y), kGrey, 8)) << x << "," << y;  // nothing from outside the monitor
}

}  // namespace
}  // namespace fernpad::test
