#include "discovery/Motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace fernpad::discovery {
namespace {

// The joystick's acceleration spelled out step by step.
Offset ExpectedJoystick(float jx, float jy, float vx, float vy, int p) {
  for (int i = 1; i <= 20; ++i) {
    const long double t = 10.0L * i / p;
    if (std::fabs(jx) > t || std::fabs(jy) > t) {
      vx = static_cast<float>(vx * 1.05L);
      vy = static_cast<float>(vy * 1.05L);
    }
  }
  return {static_cast<std::int32_t>(std::nearbyint(vx)), static_cast<std::int32_t>(std::nearbyint(vy))};
}

TEST(Round32, TiesToEvenAndThe32BitRange) {
  EXPECT_EQ(Round32(2.5L), 2);
  EXPECT_EQ(Round32(3.5L), 4);
  EXPECT_EQ(Round32(-2.5L), -2);
  EXPECT_EQ(Round32(-0.4L), 0);
  EXPECT_EQ(Round32(2147483647.4L), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(Round32(-2147483648.4L), std::numeric_limits<std::int32_t>::min());
  EXPECT_FALSE(Round32(2147483647.5L));
  EXPECT_FALSE(Round32(-2147483648.6L));
  EXPECT_FALSE(Round32(std::numeric_limits<long double>::quiet_NaN()));
  EXPECT_FALSE(Round32(std::numeric_limits<long double>::infinity()));
}

TEST(MoveOffset, AcceleratedAndRounded) {
  EXPECT_EQ(MoveOffset(3, 0, 1), (Offset{3, 0}));    // 3 does not exceed 10
  EXPECT_EQ(MoveOffset(25, 0, 1), (Offset{28, 0}));  // 25 * 1.05 * 1.05 = 27.5625
  EXPECT_EQ(MoveOffset(10, -10, 1), (Offset{10, -10}));
  EXPECT_EQ(MoveOffset(3, 4, 10), (Offset{3, 5}));  // three steps: 3.4729, 4.6305
  EXPECT_EQ(MoveOffset(0.4f, 0, 100), (Offset{0, 0}));
}

TEST(MoveOffset, AResultBeyond32BitsIsNothing) {
  // Every step applies above 200 at setting 1: the factor is 1.05^20, about 2.6533.
  EXPECT_TRUE(MoveOffset(-8.0e8f, 0, 1));
  EXPECT_FALSE(MoveOffset(-8.1e8f, 0, 1));
  EXPECT_FALSE(MoveOffset(0, 8.1e8f, 1));
  EXPECT_FALSE(MoveOffset(std::numeric_limits<float>::max(), 0, 1));
  EXPECT_FALSE(MoveOffset(0, -std::numeric_limits<float>::max(), 50));
}

TEST(JoystickVelocity, DeadZoneAndGains) {
  auto v = JoystickVelocity(0.1f, -0.1f);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->dx, 0.0f);
  EXPECT_EQ(v->dy, 0.0f);
  v = JoystickVelocity(-0.2f, 0.2f);  // the float nearest 0.2 lies just above it: a tiny velocity
  ASSERT_TRUE(v);
  EXPECT_EQ(std::nearbyint(v->dx), 0.0f);
  EXPECT_EQ(std::nearbyint(v->dy), 0.0f);
  v = JoystickVelocity(1.0f, 1.0f);
  ASSERT_TRUE(v);
  EXPECT_FLOAT_EQ(v->dx, 24.0f);   // 30 * (1 - 0.2)
  EXPECT_FLOAT_EQ(v->dy, -40.0f);  // up
  v = JoystickVelocity(-0.7f, -0.6f);
  ASSERT_TRUE(v);
  EXPECT_FLOAT_EQ(v->dx, 30 * (-0.7f + 0.2f));
  EXPECT_FLOAT_EQ(v->dy, -50 * (-0.6f + 0.2f));  // down
  EXPECT_FALSE(JoystickVelocity(std::numeric_limits<float>::max(), 0));
  EXPECT_FALSE(JoystickVelocity(0, -std::numeric_limits<float>::max()));
}

TEST(JoystickOffset, StepsFromTheDeflection) {
  EXPECT_EQ(JoystickOffset(0.1f, -0.1f, 1), (Offset{0, 0}));
  EXPECT_EQ(JoystickOffset(1.0f, 0, 1), (Offset{24, 0}));
  EXPECT_EQ(JoystickOffset(0, 1.0f, 1), (Offset{0, -40}));
  EXPECT_EQ(JoystickOffset(0, -1.0f, 1), (Offset{0, 40}));
  // The deflection is compared with the thresholds, the velocity is scaled: at setting 100, a full
  // deflection passes the thresholds 0.1 to 0.9.
  for (int p : {1, 7, 25, 100}) {
    for (float j : {0.3f, 0.55f, 1.0f, 4.0f, 250.0f}) {
      const auto v = JoystickVelocity(j, -j);
      ASSERT_TRUE(v);
      EXPECT_EQ(JoystickOffset(j, -j, p), ExpectedJoystick(j, -j, v->dx, v->dy, p)) << p << " " << j;
    }
  }
  EXPECT_NE(JoystickOffset(1.0f, 0, 100), JoystickOffset(1.0f, 0, 1));
}

TEST(JoystickOffset, AResultBeyond32BitsIsNothing) {
  EXPECT_FALSE(JoystickOffset(1e9f, 0, 1));
  EXPECT_FALSE(JoystickOffset(0, -1e9f, 1));
  EXPECT_FALSE(JoystickOffset(std::numeric_limits<float>::max(), 0, 1));
  EXPECT_TRUE(JoystickOffset(1e6f, 0, 1));
}

TEST(WheelAmount, TheProductIsRounded) {
  EXPECT_EQ(WheelAmount(1.0f), -120);
  EXPECT_EQ(WheelAmount(0.5f), -60);
  EXPECT_EQ(WheelAmount(-1.0f), 120);
  EXPECT_EQ(WheelAmount(0.0f), 0);
  EXPECT_EQ(WheelAmount(0.1875f), -22);  // 22.5 rounds to the even 22
  EXPECT_EQ(WheelAmount(0.3125f), -38);  // 37.5 rounds to 38
  EXPECT_EQ(WheelAmount(-0.1875f), 22);
  EXPECT_EQ(WheelAmount(17895696.0f), -2147483520);  // the float just below 2^31 / 120
  EXPECT_FALSE(WheelAmount(17895698.0f));            // the next float: -2147483760 is below the 32-bit range
  EXPECT_FALSE(WheelAmount(-17895698.0f));           // and +2147483760 above it
  EXPECT_FALSE(WheelAmount(std::numeric_limits<float>::max()));
}

TEST(OverlayCorner, CentredDotAndItsLimits) {
  EXPECT_EQ(OverlayCorner({1920, 1080}, 0.5f, 0.5f), (Point{952, 532}));
  EXPECT_EQ(OverlayCorner({1920, 1080}, 0, 0), (Point{-8, -8}));
  EXPECT_EQ(OverlayCorner({5, 3}, 0.5f, 0.5f), (Point{-6, -6}));  // 2.5 -> 2, 1.5 -> 2
  EXPECT_EQ(OverlayCorner({1, 1}, -2147483520.0f, 0), (Point{-2147483528, -8}));
  EXPECT_FALSE(OverlayCorner({1, 1}, -2147483648.0f, 0));  // the corner would be below the 32-bit range
  EXPECT_FALSE(OverlayCorner({1920, 1080}, 2e6f, 0));
  EXPECT_FALSE(OverlayCorner({1920, 1080}, 0, -2e6f));
}

}  // namespace
}  // namespace fernpad::discovery
