#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "core/Bitmap24.h"

// The straightforward per-pixel form of the area-averaging shrink, kept as the reference the fast
// TBMPUtil::ShrinkTo must equal byte for byte. It follows the definition step by step and does every
// floating-point operation as x87 code does it: long double (64-bit mantissa) wherever the x87 register
// holds the value, double wherever the value is stored in a double variable.
namespace fernpad::test {

inline std::vector<std::uint8_t*> RowTable(Bitmap24& bmp) {
  std::vector<std::uint8_t*> rows(static_cast<std::size_t>(bmp.Height()));
  for (int y = 0; y < bmp.Height(); ++y) rows[static_cast<std::size_t>(y)] = bmp.Row(y);
  return rows;
}

// Destination pixel i of a line of size source pixels, whose channel bytes are read through at(j, channel);
// its three channel bytes go to out.
template <class At>
inline void ReferenceWindow(int i, long double q, int size, At at, std::uint8_t out[3]) {
  double sum[3] = {0, 0, 0};
  long double sl = (static_cast<long double>(i) - 0.5L) / q;
  if (sl < 0) sl = 0;
  long double el = (static_cast<long double>(i) + 0.5L) / q;
  if (el > static_cast<long double>(size - 1)) el = size - 1;
  const double s = static_cast<double>(sl);
  const double e = static_cast<double>(el);
  const double t = static_cast<double>(static_cast<long double>(e) - static_cast<long double>(s));
  const long a = std::lrint(s);
  const long b = std::lrint(e);
  for (long j = a; j <= b; ++j) {
    long double weight;
    if (j == a) {
      weight = static_cast<long double>(j) + 0.5L - static_cast<long double>(s);
    } else if (j == b) {
      weight = static_cast<long double>(e) - static_cast<long double>(j) + 0.5L;
    } else {
      weight = 1;
    }
    for (int c = 0; c < 3; ++c) {
      sum[c] = static_cast<double>(static_cast<long double>(sum[c]) + weight * at(static_cast<int>(j), c));
    }
  }
  for (int c = 0; c < 3; ++c) {
    out[c] = static_cast<std::uint8_t>(
        std::llrint(static_cast<long double>(sum[c]) / static_cast<long double>(t)));
  }
}

// ShrinkTo(w, h) on bmp, per pixel, with the working bitmap and the in-place vertical pass.
inline void ReferenceShrinkTo(Bitmap24& bmp, int w, int h) {
  const int W = bmp.Width();
  const int H = bmp.Height();
  Bitmap24 work(w, H);
  auto workRows = RowTable(work);
  if (W <= w) return;
  auto rows = RowTable(bmp);

  long double q = static_cast<long double>(w) / static_cast<long double>(W);
  for (int y = 0; y < H; ++y) {
    for (int i = 0; i < w; ++i) {
      std::uint8_t px[3];
      ReferenceWindow(
          i, q, W, [&](int j, int c) { return rows[y][3 * j + c]; }, px);
      for (int c = 0; c < 3; ++c) workRows[y][3 * i + c] = px[c];
    }
  }
  if (H <= h) return;

  q = static_cast<long double>(h) / static_cast<long double>(H);
  for (int x = 0; x < w; ++x) {
    for (int i = 0; i < h; ++i) {
      std::uint8_t px[3];
      ReferenceWindow(
          i, q, H, [&](int j, int c) { return workRows[j][3 * x + c]; }, px);
      for (int c = 0; c < 3; ++c) workRows[i][3 * x + c] = px[c];
    }
  }
  bmp.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < 3 * w; ++x) bmp.Row(y)[x] = work.Row(y)[x];
  }
}

}  // namespace fernpad::test
