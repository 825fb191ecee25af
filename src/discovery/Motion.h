#pragma once

#include <cstdint>
#include <optional>

#include "core/Geometry.h"
#include "input/Mouse.h"

namespace fernpad::discovery {

// The arithmetic of the datagram mouse codes. Every function returns nothing when a result does not fit
// into 32 bits (or a float), so that such a datagram is dropped before anything happens.

// Rounds to the nearest integer, ties to the even neighbour; nothing for NaN, infinity or out of range.
std::optional<std::int32_t> Round32(long double value);

// Whole pixels to add to the cursor.
struct Offset {
  std::int32_t dx = 0;
  std::int32_t dy = 0;
  friend bool operator==(const Offset&, const Offset&) = default;
};

// Code 2: the move accelerated by AccelerateDelta, each component rounded.
std::optional<Offset> MoveOffset(float dx, float dy, int acceleration);

// Code 7: the velocity of a deflection, with a dead zone of 0.2 and gains 30 across and 50 up (a positive
// jy moves the pointer up). Nothing when a component is too large for a float.
std::optional<input::Delta> JoystickVelocity(float jx, float jy);

// Code 7: the velocity, accelerated with the deflections compared against the thresholds, then rounded.
std::optional<Offset> JoystickOffset(float jx, float jy, int acceleration);

// Code 14: the wheel amount -Round(notches * 120); the product is rounded, so fractional notches count.
std::optional<std::int32_t> WheelAmount(float notches);

// Code 5: the overlay's top-left corner for fractions of the screen, (Round(W*fx) - 8, Round(H*fy) - 8).
std::optional<Point> OverlayCorner(Size screen, float fx, float fy);

}  // namespace fernpad::discovery
