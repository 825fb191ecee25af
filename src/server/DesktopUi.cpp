#include "server/DesktopUi.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace fernpad {
namespace {

int SaturatingSum(int a, int b) {
  const std::int64_t sum = static_cast<std::int64_t>(a) + b;
  return static_cast<int>(
      std::clamp<std::int64_t>(sum, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

void DesktopUi::ShowPointerOverlay(Point topLeft) {
  const Point origin = platform_.ScreenOrigin();
  ui_.ShowPointerOverlay({SaturatingSum(topLeft.x, origin.x), SaturatingSum(topLeft.y, origin.y)});
}

}  // namespace fernpad
