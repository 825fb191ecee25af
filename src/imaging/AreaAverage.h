#pragma once

#include <vector>

#include "core/Bitmap24.h"

// The two passes of TBMPUtil::ShrinkTo, with each line's windows worked out once per pass.
//
// The results are byte for byte those of the plain per-pixel form, which works in the x87's extended
// precision (64-bit mantissa): q, the window bounds and every weighted term in extended precision, the bounds
// and the channel sums held as doubles, and the written byte the low 8 bits of sum / t (divided in extended
// precision) rounded half to even. The fast form reaches the same bits with double arithmetic where that is
// provably the same (see AreaAverage.cpp), with exact integers where no operation of a pass rounds at all
// (see IntegerPass in AreaAverageKernels.h), and with extended precision where neither holds. The passes set
// round-to-nearest and the x87's full precision for their own duration.
namespace fernpad::area_average {

// One destination pixel's window over a line of source pixels: pixels a..b, a with weight wa, b with
// weight wb, those between with weight 1. The weights add up to t. When a == b (never in a pass that runs)
// the one pixel has weight wa.
struct Window {
  int a = 0;
  int b = 0;
  double wa = 0;
  double wb = 0;
  double t = 0;
  // For the fast division (see AreaAverageKernels.h): 1 / t, and t times the bounds within which a
  // quotient's distance from a half, scaled by that half's power of two, means the extended-precision
  // quotient is the half itself (below tieBelow) or is not (above tieAbove).
  double inverseT = 0;
  double tieBelow = 0;
  double tieAbove = 0;
};

// The window bounds of destination pixel i of a line shrunk from srcSize to dstSize pixels, as doubles:
// s = max((i - 0.5) / q, 0), e = min((i + 0.5) / q, srcSize - 1), q = dstSize / srcSize, all in extended
// precision and then rounded to double.
struct Bounds {
  double s = 0;
  double e = 0;
};
Bounds WindowBounds(int i, long double q, int srcSize);

// The windows of every destination pixel of a line shrunk from srcSize to dstSize pixels (dstSize >= 1).
std::vector<Window> Windows(int srcSize, int dstSize);

// Horizontal pass: each row y of src (W x H) into row y of dst (windows.size() x H, already that size).
void HorizontalPass(const Bitmap24& src, Bitmap24& dst, const std::vector<Window>& windows);

// Vertical pass in place: rows 0 .. windows.size() - 1 of bmp from its rows 0 .. Height() - 1. Destination
// row i is written only after its window has been read, and no later window reaches back above row i.
void VerticalPass(Bitmap24& bmp, const std::vector<Window>& windows);

// Which kernels the passes use: the best this processor runs (AVX2 with FMA on x86-64 when present), or the
// portable ones. Both give the same bytes; the choice exists so that tests and benchmarks can run either.
enum class Kernels { Best, Portable };
void UseKernels(Kernels kernels);
bool BestKernelsAreVectorised();

}  // namespace fernpad::area_average
