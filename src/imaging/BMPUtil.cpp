#include "imaging/BMPUtil.h"

#include <algorithm>
#include <cstddef>
#include <utility>

#include "imaging/AreaAverage.h"

namespace fernpad {

void TBMPUtil::SetBitmap(Bitmap24& bitmap) {
  bitmap_ = &bitmap;
  RebuildRows();
}

void TBMPUtil::RebuildRows() {
  rows_.resize(static_cast<std::size_t>(bitmap_->Height()));
  for (int y = 0; y < bitmap_->Height(); ++y) rows_[static_cast<std::size_t>(y)] = bitmap_->Row(y);
}

// Builds the turned picture in a new bitmap (the one copy a rotation makes), reading the old one through the
// row table, then puts it in place of the old one. sourceOf(x, y) gives the old pixel for new pixel (x, y).
// The work goes in square tiles so that the column-wise side of a quarter turn stays in the cache.
template <class SourceOf>
void TBMPUtil::Rotate(int newWidth, int newHeight, SourceOf sourceOf) {
  if (!bitmap_) return;
  Bitmap24 turned(newWidth, newHeight);
  constexpr int kTile = 64;
  for (int ty = 0; ty < newHeight; ty += kTile) {
    const int yEnd = std::min(ty + kTile, newHeight);
    for (int tx = 0; tx < newWidth; tx += kTile) {
      const int xEnd = std::min(tx + kTile, newWidth);
      for (int y = ty; y < yEnd; ++y) {
        std::uint8_t* out = turned.Pixel(tx, y);
        for (int x = tx; x < xEnd; ++x, out += 3) {
          const auto [sx, sy] = sourceOf(x, y);
          const std::uint8_t* in = rows_[static_cast<std::size_t>(sy)] + 3 * static_cast<std::size_t>(sx);
          out[0] = in[0];
          out[1] = in[1];
          out[2] = in[2];
        }
      }
    }
  }
  *bitmap_ = std::move(turned);
  RebuildRows();
}

void TBMPUtil::RotateRight() {
  if (!bitmap_) return;
  const int h = bitmap_->Height();
  Rotate(h, bitmap_->Width(), [h](int x, int y) { return std::pair{y, h - 1 - x}; });
}

void TBMPUtil::Rotate180() {
  if (!bitmap_) return;
  const int w = bitmap_->Width();
  const int h = bitmap_->Height();
  Rotate(w, h, [w, h](int x, int y) { return std::pair{w - 1 - x, h - 1 - y}; });
}

void TBMPUtil::RotateLeft() {
  if (!bitmap_) return;
  const int w = bitmap_->Width();
  Rotate(bitmap_->Height(), w, [w](int x, int y) { return std::pair{w - 1 - y, x}; });
}

void TBMPUtil::ShrinkTo(int width, int height) {
  if (!bitmap_ || width < 1 || height < 1) return;
  Bitmap24& bmp = *bitmap_;
  // Not wider: nothing happens. Wider but not higher: the horizontal pass would run, but its result is
  // dropped and the bitmap keeps its size and pixels, so it is not run at all.
  if (bmp.Width() <= width || bmp.Height() <= height) return;

  Bitmap24 work(width, bmp.Height());
  area_average::HorizontalPass(bmp, work, area_average::Windows(bmp.Width(), width));
  area_average::VerticalPass(work, area_average::Windows(bmp.Height(), height));
  work.SetSize(width, height);  // the top rows hold the result, the rest fall away
  bmp = std::move(work);
  RebuildRows();
}

}  // namespace fernpad
