#include "imaging/Snapshot.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

#include "JpegInspect.h"
#include "TestPictures.h"
#include "imaging/BMPUtil.h"
#include "imaging/Jpeg.h"
#include "imaging/PlainScale.h"
#include "platform/fake/FakePlatform.h"

namespace fernpad {
namespace {

Bitmap24 Screen(int w, int h) {
  return test::PatternPicture(
      w, h, [](int x, int y, int c) { return ((x / 8) * 31 + (y / 8) * 17 + 90 * c) & 255; });
}

struct SnapshotTest : ::testing::Test {
  FakePlatform platform;
  test::JpegHeader Header(const std::string& jpeg) { return test::InspectJpeg(jpeg); }
};

TEST_F(SnapshotTest, PlainSmallSnapshotOfAWideScreenIsSqueezedTo400x300) {
  const Bitmap24 screen = Screen(1920, 1080);
  platform.SetScreenPicture(screen);
  const std::string jpeg = MakeSnapshot(platform, kSnapshotSmall, /*smooth=*/false);
  const auto h = Header(jpeg);
  EXPECT_TRUE(h.soi);
  EXPECT_TRUE(h.jfif);
  EXPECT_EQ(h.sofMarker, 0xC0);
  EXPECT_EQ(h.width, 400);
  EXPECT_EQ(h.height, 300);
  EXPECT_EQ(*h.quantTables[0], test::ScaledQuant(test::kStandardLuminanceQuant, 80));
  // Exactly the plain scaling of the capture, encoded.
  EXPECT_EQ(jpeg, EncodeJpeg(ScaleNearest(screen, 400, 300), 80));
}

TEST_F(SnapshotTest, SmoothSmallSnapshotIsTheShrunkCapture) {
  const Bitmap24 screen = Screen(1920, 1080);
  platform.SetScreenPicture(screen);
  const std::string jpeg = MakeSnapshot(platform, kSnapshotSmall, /*smooth=*/true);
  Bitmap24 expected = screen;
  TBMPUtil util;
  util.SetBitmap(expected);
  util.ShrinkTo(400, 300);
  EXPECT_EQ(jpeg, EncodeJpeg(expected, 80));
  EXPECT_EQ(Header(jpeg).width, 400);
}

TEST_F(SnapshotTest, SmoothPadSnapshotOfAScreenOfTheTargetSizeIsNotReduced) {
  const Bitmap24 screen = Screen(1024, 768);
  platform.SetScreenPicture(screen);
  const std::string jpeg = MakeSnapshot(platform, kSnapshotPad, /*smooth=*/true);
  const auto h = Header(jpeg);
  EXPECT_EQ(h.width, 1024);
  EXPECT_EQ(h.height, 768);
  EXPECT_EQ(*h.quantTables[0], test::ScaledQuant(test::kStandardLuminanceQuant, 90));
  EXPECT_EQ(jpeg, EncodeJpeg(screen, 90));
}

TEST_F(SnapshotTest, SmoothPadSnapshotOfAWiderButLowerScreenKeepsTheScreenSize) {
  platform.SetScreenPicture(Screen(1280, 720));
  const auto h = Header(MakeSnapshot(platform, kSnapshotPad, /*smooth=*/true));
  EXPECT_EQ(h.width, 1280);
  EXPECT_EQ(h.height, 720);
}

TEST_F(SnapshotTest, SmoothSnapshotOfASmallerScreenKeepsTheScreenSize) {
  platform.SetScreenPicture(Screen(800, 600));
  const auto h = Header(MakeSnapshot(platform, kSnapshotPad, /*smooth=*/true));
  EXPECT_EQ(h.width, 800);
  EXPECT_EQ(h.height, 600);
}

TEST_F(SnapshotTest, PlainPadSnapshotOfASmallScreenIsEnlarged) {
  const Bitmap24 screen = Screen(800, 600);
  platform.SetScreenPicture(screen);
  const std::string jpeg = MakeSnapshot(platform, kSnapshotPad, /*smooth=*/false);
  const auto h = Header(jpeg);
  EXPECT_EQ(h.width, 1024);
  EXPECT_EQ(h.height, 768);
  EXPECT_EQ(jpeg, EncodeJpeg(ScaleNearest(screen, 1024, 768), 90));
}

TEST_F(SnapshotTest, SmoothPadSnapshotOfALargeScreenIsReduced) {
  platform.SetScreenPicture(Screen(2560, 1440));
  const Bitmap24 decoded = DecodeJpeg(MakeSnapshot(platform, kSnapshotPad, /*smooth=*/true));
  EXPECT_EQ(decoded.Width(), 1024);
  EXPECT_EQ(decoded.Height(), 768);
}

TEST_F(SnapshotTest, ColoursSurviveBothPaths) {
  platform.SetScreenPicture(test::UniformPicture(1920, 1080, 30, 140, 220));
  for (const bool smooth : {false, true}) {
    const Bitmap24 decoded = DecodeJpeg(MakeSnapshot(platform, kSnapshotSmall, smooth));
    ASSERT_EQ(decoded.Width(), 400);
    EXPECT_NEAR(decoded.Pixel(200, 150)[0], 30, 3);
    EXPECT_NEAR(decoded.Pixel(200, 150)[1], 140, 3);
    EXPECT_NEAR(decoded.Pixel(200, 150)[2], 220, 3);
  }
}

TEST_F(SnapshotTest, EveryRequestCapturesAfresh) {
  platform.SetScreenPicture(test::UniformPicture(640, 480, 0, 0, 0));
  const std::string first = MakeSnapshot(platform, kSnapshotSmall, false);
  platform.SetScreenPicture(test::UniformPicture(640, 480, 255, 255, 255));
  const std::string second = MakeSnapshot(platform, kSnapshotSmall, false);
  EXPECT_NE(first, second);
  EXPECT_GT(DecodeJpeg(second).Pixel(0, 0)[0], 250);
}

TEST_F(SnapshotTest, FailedCaptureThrows) {
  platform.SetCaptureFails(true);
  EXPECT_THROW(MakeSnapshot(platform, kSnapshotSmall, false), std::runtime_error);
  EXPECT_THROW(MakeSnapshot(platform, kSnapshotPad, true), std::runtime_error);
}

TEST_F(SnapshotTest, EmptyCaptureOrTargetThrows) {
  platform.SetScreen({0, 0});
  EXPECT_THROW(MakeSnapshot(platform, kSnapshotSmall, false), std::runtime_error);
  platform.SetScreen({640, 480});
  EXPECT_THROW(MakeSnapshot(platform, 0, 300, 80, false), std::invalid_argument);
}

}  // namespace
}  // namespace fernpad
