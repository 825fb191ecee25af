#pragma once

#include "core/Bitmap24.h"

namespace fernpad {

// The source pixel that destination pixel `index` of a line of dstSize pixels takes in plain (nearest
// neighbour) scaling from srcSize pixels: the one under the destination pixel's centre,
// floor((2 * index + 1) * srcSize / (2 * dstSize)). It is always in 0 .. srcSize - 1; equal sizes map each
// pixel onto itself, an enlargement by a whole factor k repeats every pixel k times, and a reduction by a
// whole factor k keeps the pixels floor(k / 2) + n * k.
int NearestSourceIndex(int index, int srcSize, int dstSize);

// Plain scaling to exactly width x height, shrinking or enlarging each side on its own: rows and columns of
// the source are dropped or repeated (never averaged), the way a stretch blit in COLORONCOLOR mode does.
// The aspect ratio is not kept. Throws std::invalid_argument for a negative size or, when the result is not
// empty, an empty source.
Bitmap24 ScaleNearest(const Bitmap24& source, int width, int height);

}  // namespace fernpad
