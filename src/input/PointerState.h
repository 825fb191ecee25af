#pragma once

#include "core/Geometry.h"

namespace fernpad::input {

// The presenter pointer as the command paths leave it: PointerTouches 0 (no finger, overlay hidden) or
// 1 (one finger, overlay shown), and PointerPos, the dot's centre in screen pixels.
struct PointerState {
  int PointerTouches = 0;
  Point PointerPos;
};

}  // namespace fernpad::input
