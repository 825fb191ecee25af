#include "app/Placement.h"

#include <gtest/gtest.h>

namespace fernpad::app {
namespace {

TEST(Placement, OffScreenBeyondTheRightmostMonitor) {
  EXPECT_EQ(OffScreenLeft({{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}}), 3210);
  EXPECT_EQ(OffScreenLeft({{1920, 0, 1280, 1024}, {0, 0, 1920, 1080}}), 3210);   // order does not matter
  EXPECT_EQ(OffScreenLeft({{-1280, 0, 1280, 1024}, {0, 0, 1920, 1080}}), 1930);  // a monitor on the left
  EXPECT_EQ(OffScreenLeft({{-1280, 0, 1280, 1024}}), 10);                        // counting starts from 0
  EXPECT_EQ(OffScreenLeft({}), 10);
}

TEST(Placement, CentredOnAMonitorWithTruncatedHalves) {
  EXPECT_EQ(CenteredOn({0, 0, 1920, 1080}, {643, 371}), (Point{960 - 321, 540 - 185}));
  EXPECT_EQ(CenteredOn({1920, 100, 1280, 1024}, {101, 51}), (Point{1920 + 640 - 50, 100 + 512 - 25}));
  EXPECT_EQ(CenteredOn({0, 0, 641, 369}, {643, 371}), (Point{320 - 321, 184 - 185}));
}

TEST(Placement, MonitorOfAWindow) {
  const std::vector<Rect> two = {{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
  const struct {
    const char* what;
    Rect window;
    Rect monitor;
  } cases[] = {
      {"inside the second", {2000, 100, 643, 371}, two[1]},
      {"mostly on the second", {1800, 100, 643, 371}, two[1]},
      {"mostly on the first", {1500, 100, 643, 371}, two[0]},
      {"off screen beyond the right edge", {3210, 355, 643, 371}, two[1]},
      {"off screen above the first", {100, -900, 643, 371}, two[0]},
      {"off screen below the second's lower edge", {2000, 1050, 643, 371}, two[1]},
      {"a window of no area inside the first", {10, 10, 0, 0}, two[0]},
  };
  for (const auto& c : cases) EXPECT_EQ(MonitorOf(two, c.window), c.monitor) << c.what;
  EXPECT_EQ(MonitorOf({}, {0, 0, 10, 10}), std::nullopt);
}

TEST(Placement, PreviewInTheBottomRightCornerAboveTheTaskBar) {
  EXPECT_EQ(PreviewCorner({0, 0, 1920, 1080}, {107, 130}), (Point{1813, 925}));
  EXPECT_EQ(PreviewCorner({1920, -200, 1280, 1024}, {105, 105}), (Point{3095, 694}));
}

TEST(Placement, PictureFittedWithItsAspectAndCentred) {
  const struct {
    Size box, picture;
    Rect drawn;
  } cases[] = {
      {{1920, 1080}, {4000, 3000}, {240, 0, 1440, 1080}},  // shrunk, bars left and right
      {{1280, 800}, {4000, 1000}, {0, 240, 1280, 320}},    // shrunk, bars above and below
      {{105, 105}, {300, 200}, {0, 17, 105, 70}},          // 52.5 rounded down, offsets too
      {{1920, 1080}, {16, 9}, {0, 0, 1920, 1080}},         // enlarged to fill
      {{100, 100}, {10000, 1}, {0, 49, 100, 1}},           // never thinner than a pixel
      {{0, 100}, {10, 10}, {}},
      {{100, 100}, {0, 10}, {}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FittedIn(c.box, c.picture), c.drawn) << c.picture.width << "x" << c.picture.height;
}

}  // namespace
}  // namespace fernpad::app
