#include "input/Mouse.h"

#include <gtest/gtest.h>

#include "input/Numbers.h"

namespace fernpad::input {
namespace {

struct AccelCase {
  int p;
  float dx, dy;
  int steps;
  int movedX, movedY;
};

TEST(AccelerateDelta, StepsAndRoundedMoves) {
  const AccelCase cases[] = {
      {1, 15, 0, 1, 16, 0},      // 15 > 10: one step, 15.75 -> 16
      {1, 10, 0, 0, 10, 0},      // 10 is not greater than 10
      {10, 3, 4, 3, 3, 5},       // 4 > 1, 2, 3
      {5, -7, 3, 3, -8, 3},      // 7 > 2, 4, 6
      {100, 2.5f, 0, 20, 7, 0},  // every step
      {100, 0.4f, 0, 4, 0, 0},   // 0.4862 rounds to 0: no move
      {1, 25, 0, 2, 28, 0},      // 25 * 1.05 * 1.05 = 27.5625
  };
  for (const auto& c : cases) {
    const Delta d = AccelerateDelta(c.dx, c.dy, c.p);
    float ex = c.dx, ey = c.dy;
    for (int i = 0; i < c.steps; ++i) {
      ex = static_cast<float>(static_cast<long double>(ex) * 1.05L);
      ey = static_cast<float>(static_cast<long double>(ey) * 1.05L);
    }
    EXPECT_EQ(d.dx, ex) << "P=" << c.p << " dx=" << c.dx;
    EXPECT_EQ(d.dy, ey) << "P=" << c.p << " dy=" << c.dy;
    EXPECT_EQ(Nearest(d.dx), c.movedX) << "P=" << c.p << " dx=" << c.dx;
    EXPECT_EQ(Nearest(d.dy), c.movedY) << "P=" << c.p << " dy=" << c.dy;
  }
}

TEST(AccelerateDelta, KnownValues) {
  const Delta d = AccelerateDelta(3, 4, 10);
  EXPECT_NEAR(d.dx, 3.4729f, 1e-4);
  EXPECT_NEAR(d.dy, 4.6305f, 1e-4);
  EXPECT_NEAR(AccelerateDelta(-7, 3, 5).dx, -8.1034f, 1e-4);
  EXPECT_NEAR(AccelerateDelta(2.5f, 0, 100).dx, 6.6332f, 1e-4);
  EXPECT_NEAR(AccelerateDelta(1000, 0, 1).dx, 1000 * 2.6533f, 0.1);  // at most twenty steps
}

TEST(AccelerateDelta, TheLargerAxisDecidesAndBothAreScaled) {
  const Delta d = AccelerateDelta(1, -25, 1);
  EXPECT_NEAR(d.dx, 1.1025f, 1e-5);
  EXPECT_NEAR(d.dy, -27.5625f, 1e-4);
}

TEST(AccelerateDelta, SettingBelowOneCountsAsOne) {
  EXPECT_EQ(AccelerateDelta(15, 0, 0).dx, AccelerateDelta(15, 0, 1).dx);
}

}  // namespace
}  // namespace fernpad::input
