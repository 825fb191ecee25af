#pragma once

#include <algorithm>
#include <limits>

namespace fernpad {

// Screen coordinates are pixels from the primary monitor's top-left corner.
struct Point {
  int x = 0;
  int y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// A monitor or window rectangle: left and top edge, width and height.
struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

// a + b for cursor arithmetic: saturates instead of wrapping (the OS clamps the cursor to the screens
// anyway).
inline int AddClamped(int a, long long b) {
  const long long sum = a + b;
  return static_cast<int>(
      std::clamp<long long>(sum, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace fernpad
