#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/Bitmap24.h"

namespace fernpad::test {

inline Bitmap24 RandomPicture(int width, int height, std::mt19937& rng) {
  Bitmap24 bmp(width, height);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < 3 * width; ++x) bmp.Row(y)[x] = static_cast<std::uint8_t>(byte(rng));
  }
  return bmp;
}

inline Bitmap24 UniformPicture(int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  Bitmap24 bmp(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      bmp.Pixel(x, y)[0] = b;
      bmp.Pixel(x, y)[1] = g;
      bmp.Pixel(x, y)[2] = r;
    }
  }
  return bmp;
}

// A picture whose pixel (x, y) has the three channel bytes of pattern(x, y, channel).
template <class Pattern>
Bitmap24 PatternPicture(int width, int height, Pattern pattern) {
  Bitmap24 bmp(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) bmp.Pixel(x, y)[c] = static_cast<std::uint8_t>(pattern(x, y, c));
    }
  }
  return bmp;
}

// Same size and the same pixel bytes (row padding is not compared).
inline bool SamePixels(const Bitmap24& a, const Bitmap24& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < 3 * a.Width(); ++x) {
      if (a.Row(y)[x] != b.Row(y)[x]) return false;
    }
  }
  return true;
}

// "WxH" and the first differing byte, for failure messages.
inline std::string Describe(const Bitmap24& a, const Bitmap24& b) {
  std::string s = std::to_string(a.Width()) + "x" + std::to_string(a.Height()) + " vs " +
                  std::to_string(b.Width()) + "x" + std::to_string(b.Height());
  if (a.Width() != b.Width() || a.Height() != b.Height()) return s;
  for (int y = 0; y < a.Height(); ++y) {
    for (int x = 0; x < 3 * a.Width(); ++x) {
      if (a.Row(y)[x] != b.Row(y)[x]) {
        return s + ", first difference at pixel (" + std::to_string(x / 3) + ", " + std::to_string(y) +
               ") channel " + std::to_string(x % 3) + ": " + std::to_string(a.Row(y)[x]) + " vs " +
               std::to_string(b.Row(y)[x]);
      }
    }
  }
  return s + ", same pixels";
}

// 16 x 16 blocks of flat colours, aligned to the 4:2:0 macroblocks, so that the codec's loss stays small.
inline Bitmap24 Blocks(int width, int height) {
  return PatternPicture(width, height, [](int x, int y, int c) {
    const int block = (x / 16) * 7 + (y / 16) * 13;
    return (block * (37 + 50 * c) + 20 * c) % 256;
  });
}

}  // namespace fernpad::test
