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

}  // namespace
}  // namespace fernpad::app
