#include "core/Bitmap24.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace fernpad {

void Bitmap24::SetSize(int width, int height) {
  if (width < 0 || height < 0) throw std::invalid_argument("bitmap size must not be negative");
  if (width == width_ && height == height_) return;
  const std::size_t stride = StrideFor(width);
  std::vector<std::uint8_t> data(stride * static_cast<std::size_t>(height), 0);
  const int keepRows = std::min(height, height_);
  const std::size_t keepBytes = static_cast<std::size_t>(std::min(width, width_)) * 3;
  for (int y = 0; y < keepRows; ++y) std::memcpy(data.data() + y * stride, Row(y), keepBytes);
  width_ = width;
  height_ = height;
  stride_ = stride;
  data_ = std::move(data);
}

}  // namespace fernpad
