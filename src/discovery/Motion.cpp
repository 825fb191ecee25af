#include "discovery/Motion.h"

#include <cmath>
#include <limits>

#include "input/Numbers.h"
#include "presenter/Presenter.h"

namespace fernpad::discovery {
namespace {

constexpr long double kDeadZone = 0.2L;
constexpr long double kGainX = 30.0L;
constexpr long double kGainY = -50.0L;  // the screen's y grows downwards

// Beyond this a value cannot round into 32 bits, however it is scaled afterwards (the scale factors are at
// least 1); below it every float operation here stays finite.
constexpr long double kTooLarge = 4294967296.0L;

long double Axis(float j, long double gain) {
  if (std::fabs(static_cast<long double>(j)) <= kDeadZone) return 0;
  return j > 0 ? gain * (j - kDeadZone) : gain * (j + kDeadZone);
}

}  // namespace

std::optional<std::int32_t> Round32(long double value) {
  return input::NearestChecked(value);
}

std::optional<Offset> MoveOffset(float dx, float dy, int acceleration) {
  if (!(std::fabs(dx) < kTooLarge && std::fabs(dy) < kTooLarge)) return std::nullopt;
  const input::Delta d = input::AccelerateDelta(dx, dy, acceleration);
  const auto x = Round32(d.dx);
  const auto y = Round32(d.dy);
  if (!x || !y) return std::nullopt;
  return Offset{*x, *y};
}

std::optional<input::Delta> JoystickVelocity(float jx, float jy) {
  const long double vx = Axis(jx, kGainX);
  const long double vy = Axis(jy, kGainY);
  const long double largest = std::numeric_limits<float>::max();
  if (!(std::fabs(vx) <= largest && std::fabs(vy) <= largest)) return std::nullopt;
  return input::Delta{static_cast<float>(vx), static_cast<float>(vy)};
}

std::optional<Offset> JoystickOffset(float jx, float jy, int acceleration) {
  const auto v = JoystickVelocity(jx, jy);
  if (!v || !(std::fabs(v->dx) < kTooLarge && std::fabs(v->dy) < kTooLarge)) return std::nullopt;
  const input::Delta d = input::AccelerateWithThresholds(jx, jy, v->dx, v->dy, acceleration);
  const auto x = Round32(d.dx);
  const auto y = Round32(d.dy);
  if (!x || !y) return std::nullopt;
  return Offset{*x, *y};
}

std::optional<std::int32_t> WheelAmount(float notches) {
  // Rounding ties to even is symmetric, so -Round(p) == Round(-p), and Round(-p) cannot overflow on negation.
  return Round32(-(static_cast<long double>(notches) * mouse::kWheelDelta));
}

std::optional<Point> OverlayCorner(Size screen, float fx, float fy) {
  const auto x = Round32(screen.width * static_cast<long double>(fx));
  const auto y = Round32(screen.height * static_cast<long double>(fy));
  constexpr auto lowest = std::numeric_limits<std::int32_t>::min() + presenter::kOverlayHalf;
  if (!x || !y || *x < lowest || *y < lowest) return std::nullopt;
  return Point{*x - presenter::kOverlayHalf, *y - presenter::kOverlayHalf};
}

}  // namespace fernpad::discovery
