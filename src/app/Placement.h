#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
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

// The monitor a window belongs to: the one sharing the largest area with it, or, when the window lies
// outside every monitor (a window hidden off screen), the nearest one; the first of equals wins. Empty
// without monitors.
inline std::optional<Rect> MonitorOf(const std::vector<Rect>& monitors, const Rect& window) {
  const auto overlap = [](int a0, int a1, int b0, int b1) {
    return std::max<std::int64_t>(0, std::int64_t{std::min(a1, b1)} - std::max(a0, b0));
  };
  const auto gap = [](int a0, int a1, int b0, int b1) {
    return std::max<std::int64_t>({0, std::int64_t{b0} - a1, std::int64_t{a0} - b1});
  };
  std::optional<Rect> best;
  std::int64_t bestArea = 0, bestDistance = 0;
  for (const Rect& m : monitors) {
    const int mr = m.left + m.width, mb = m.top + m.height;
    const int wr = window.left + window.width, wb = window.top + window.height;
    const std::int64_t area = overlap(m.left, mr, window.left, wr) * overlap(m.top, mb, window.top, wb);
    const std::int64_t dx = gap(m.left, mr, window.left, wr), dy = gap(m.top, mb, window.top, wb);
    const std::int64_t distance = dx * dx + dy * dy;
    if (!best || area > bestArea || (area == 0 && bestArea == 0 && distance < bestDistance)) {
      best = m;
      bestArea = area;
      bestDistance = distance;
    }
  }
  return best;
}

// Where the photo preview's frame goes: its bottom-right corner on the monitor's right edge, 25 pixels above
// its bottom edge (above a task bar).
inline Point PreviewCorner(const Rect& monitor, Size frame) {
  return {monitor.left + monitor.width - frame.width, monitor.top + monitor.height - frame.height - 25};
}

// Where a picture control draws its picture: scaled up or down to the largest size that fits the box with
// its aspect kept (sides rounded down), centred (offsets rounded down). Nothing for an empty box or picture.
inline Rect FittedIn(Size box, Size picture) {
  if (box.width <= 0 || box.height <= 0 || picture.width <= 0 || picture.height <= 0) return {};
  Size fitted{box.width, static_cast<int>(std::int64_t{box.width} * picture.height / picture.width)};
  if (fitted.height > box.height)
    fitted = {static_cast<int>(std::int64_t{box.height} * picture.width / picture.height), box.height};
  fitted = {std::max(fitted.width, 1), std::max(fitted.height, 1)};
  return {(box.width - fitted.width) / 2, (box.height - fitted.height) / 2, fitted.width, fitted.height};
}

}  // namespace fernpad::app
