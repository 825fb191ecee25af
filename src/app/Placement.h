#pragma once

#include <algorithm>
#include <vector>

#include "core/Geometry.h"

namespace fernpad::app {

// The left edge that puts a window just beyond the rightmost monitor: 10 pixels past the largest right edge
// (left + width) of all monitors, counting from 0.
inline int OffScreenLeft(const std::vector<Rect>& monitors) {
  int right = 0;
  for (const Rect& m : monitors) right = std::max(right, m.left + m.width);
  return right + 10;
}

// The top-left corner that centres a window of the given size on a monitor (halves truncated toward zero).
inline Point CenteredOn(const Rect& monitor, Size window) {
  return {monitor.left + monitor.width / 2 - window.width / 2,
          monitor.top + monitor.height / 2 - window.height / 2};
}

}  // namespace fernpad::app
