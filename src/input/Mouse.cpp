#include "input/Mouse.h"

#include <algorithm>
#include <cmath>

namespace fernpad::input {

Delta AccelerateWithThresholds(float cx, float cy, float vx, float vy, int acceleration) {
  const long double p = std::max(acceleration, 1);
  const long double ax = std::fabs(static_cast<long double>(cx));
  const long double ay = std::fabs(static_cast<long double>(cy));
  for (int i = 1; i <= 20; ++i) {
    const long double t = 10.0L * i / p;
    // The thresholds only grow: once neither value exceeds one, no later step applies either.
    if (!(ax > t || ay > t)) break;
    vx = static_cast<float>(static_cast<long double>(vx) * 1.05L);
    vy = static_cast<float>(static_cast<long double>(vy) * 1.05L);
  }
  return {vx, vy};
}

Delta AccelerateDelta(float dx, float dy, int acceleration) {
  return AccelerateWithThresholds(dx, dy, dx, dy, acceleration);
}

}  // namespace fernpad::input
