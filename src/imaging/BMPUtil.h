#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/Bitmap24.h"

namespace fernpad {

// Rotation and smooth shrinking of a 24-bit bitmap owned by the caller, in place. The bitmap is reached
// through a table of row addresses built by SetBitmap; call SetBitmap again after changing the bitmap's size
// yourself. Every operation is a no-op while no bitmap is attached. One instance is used by one thread at a
// time. Failures of the bitmap itself (no memory for a copy) reach the caller as std::bad_alloc, with the
// attached bitmap unchanged.
class TBMPUtil {
 public:
  TBMPUtil() = default;
  TBMPUtil(const TBMPUtil&) = delete;
  TBMPUtil& operator=(const TBMPUtil&) = delete;

  // Attaches the bitmap (not owned) and rebuilds the row table.
  void SetBitmap(Bitmap24& bitmap);

  // Quarter turn clockwise: the result is H wide and W high, its pixel (x, y) the old (y, H - 1 - x).
  void RotateRight();
  // Half turn: same size, pixel (x, y) the old (W - 1 - x, H - 1 - y).
  void Rotate180();
  // Quarter turn counter-clockwise: H wide and W high, pixel (x, y) the old (W - 1 - y, x).
  void RotateLeft();

  // Area-averaging reduction to exactly width x height. Does nothing at all unless the bitmap is wider than
  // width and higher than height (it never enlarges; a request to keep or grow either side leaves size and
  // pixels as they are). Targets below 1 pixel also leave the bitmap unchanged.
  void ShrinkTo(int width, int height);

  Bitmap24* Bitmap() const { return bitmap_; }
  const std::vector<std::uint8_t*>& Rows() const { return rows_; }

 private:
  void RebuildRows();
  template <class SourceOf>
  void Rotate(int newWidth, int newHeight, std::ptrdiff_t step, int tileRows, int tileColumns,
              SourceOf sourceOf);

  Bitmap24* bitmap_ = nullptr;
  std::vector<std::uint8_t*> rows_;
};

}  // namespace fernpad
