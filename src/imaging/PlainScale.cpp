#include "imaging/PlainScale.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace fernpad {

int NearestSourceIndex(int index, int srcSize, int dstSize) {
  return static_cast<int>((2 * static_cast<std::int64_t>(index) + 1) * srcSize /
                          (2 * static_cast<std::int64_t>(dstSize)));
}

Bitmap24 ScaleNearest(const Bitmap24& source, int width, int height) {
  if (width < 0 || height < 0) throw std::invalid_argument("plain scaling: negative size");
  Bitmap24 out(width, height);
  if (width == 0 || height == 0) return out;
  if (source.Empty()) throw std::invalid_argument("plain scaling: empty source");

  std::vector<std::size_t> columnOffset(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x) {
    columnOffset[static_cast<std::size_t>(x)] =
        3 * static_cast<std::size_t>(NearestSourceIndex(x, source.Width(), width));
  }
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(width);
  int previous = -1;
  for (int y = 0; y < height; ++y) {
    const int sy = NearestSourceIndex(y, source.Height(), height);
    std::uint8_t* o = out.Row(y);
    if (sy == previous) {  // a repeated row: copy the one just made
      std::memcpy(o, out.Row(y - 1), rowBytes);
      continue;
    }
    previous = sy;
    const std::uint8_t* in = source.Row(sy);
    for (const std::size_t offset : columnOffset) {
      const std::uint8_t* p = in + offset;
      o[0] = p[0];
      o[1] = p[1];
      o[2] = p[2];
      o += 3;
    }
  }
  return out;
}

}  // namespace fernpad
