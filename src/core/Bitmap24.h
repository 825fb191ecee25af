#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace fernpad {

// A 24-bit picture: three bytes per pixel in the memory order blue, green, red, rows addressable from the
// top. Rows are padded to a multiple of four bytes, as the desktop's device-independent bitmaps are, so a
// row may be longer than three bytes times the width: always step rows with Stride().
class Bitmap24 {
 public:
  Bitmap24() = default;
  Bitmap24(int width, int height) { SetSize(width, height); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  std::size_t Stride() const { return stride_; }
  bool Empty() const { return width_ <= 0 || height_ <= 0; }

  std::uint8_t* Row(int y) { return data_.data() + static_cast<std::size_t>(y) * stride_; }
  const std::uint8_t* Row(int y) const { return data_.data() + static_cast<std::size_t>(y) * stride_; }
  std::uint8_t* Pixel(int x, int y) { return Row(y) + static_cast<std::size_t>(x) * 3; }
  const std::uint8_t* Pixel(int x, int y) const { return Row(y) + static_cast<std::size_t>(x) * 3; }

  // Changes the size. The pixels of the rectangle both sizes share stay where they are (a smaller size
  // crops, a larger one adds black); throws std::invalid_argument for a negative size.
  void SetSize(int width, int height);

  static std::size_t StrideFor(int width) {
    return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::size_t stride_ = 0;
  std::vector<std::uint8_t> data_;
};

}  // namespace fernpad
