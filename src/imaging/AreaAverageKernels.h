#pragma once

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/AreaAverage.h"

// The arithmetic both kernel sets share, and the vectorised kernels' entry points.
namespace fernpad::area_average::detail {

// The written byte is the extended-precision quotient sum / t rounded half to even. Away from halves,
// sum * (1 / t), whose relative error is below 2^-51 (under 2^-43 absolute, as the quotient is below 256),
// rounds to the same integer; quotients within 1e-9 of a half are settled exactly: by dividing in extended
// precision (portable kernels), or from the sign of sum - h * t computed with one rounding (FMA kernels).
inline constexpr double kTieBand = 0.5 - 1e-9;

// The low 8 bits of sum / t rounded half to even, sum / t divided in extended precision.
inline std::uint8_t ExactFinish(double sum, double t) {
  return static_cast<std::uint8_t>(std::llrint(static_cast<long double>(sum) / static_cast<long double>(t)));
}

inline std::uint8_t Finish(double sum, const Window& w) {
  const double q = sum * w.inverseT;
#if FLT_EVAL_METHOD == 0
  // Rounds half to even for 0 <= q < 2^51: the addition leaves no fraction bits (nearbyint is a library call
  // on processors without SSE4.1).
  const double n = (q + 0x1p52) - 0x1p52;
#else
  const double n = std::nearbyint(q);
#endif
  if (std::fabs(q - n) > kTieBand) return ExactFinish(sum, w.t);
  return static_cast<std::uint8_t>(static_cast<int>(n));
}

// sum + weight * byte, formed exactly and rounded once to double (the x87 way; see AreaAverage.cpp).
inline double AddLast(double sum, double weight, unsigned byte) {
  return static_cast<double>(static_cast<long double>(sum) + static_cast<long double>(weight) * byte);
}

// The integer form of a pass whose window bounds all lie on the grid of 2^-shift.
//
// Then every weight and t are whole multiples of 2^-shift and no double or extended operation of the pass
// rounds: each partial sum is a whole multiple of 2^-shift far below 2^53 of them. So sum * 2^shift is the
// whole number S = WA * first + WB * last + 2^shift * (the bytes between), t * 2^shift the whole number T,
// and the extended quotient is S / T rounded to 64 bits, which lies on a half only when S / T does exactly:
// otherwise it is at least 1 / (2T) from every half, far more than an ulp. The written byte is therefore
// S / T rounded half to even, worked out in integers and single precision: with S below 2^24 (exact as a
// float) and T below 5000, S * (1 / T) in floats is within 2^-15 of S / T, every S / T that is not a half is
// more than 2^-13.3 away from one, and a quotient within 2^-14 of a half is a half.
struct IntegerWindow {
  int a = 0;
  int b = 0;
  std::int32_t weights = 0;  // WA in the low 16 bits, WB in the high ones (0 when a == b)
  float inverseT = 0;        // 1 / T
};
struct IntegerPass {
  bool usable = false;
  int shift = 0;
  std::vector<IntegerWindow> windows;
};
inline constexpr int kMaxIntegerShift = 14;  // keeps WA and WB within signed 16 bits
inline constexpr double kMaxIntegerSum = 1 << 24;
inline constexpr double kMaxIntegerT = 5000;

// The integer form of the windows, or one with usable == false when they are not all on a fine enough grid.
IntegerPass IntegerForm(const std::vector<Window>& windows);

// Whether this build has the AVX2 + FMA kernels and the processor runs them.
bool HaveAvx2Fma();

// The passes with AVX2 + FMA (AreaAverageAvx2.cpp); only to be called when HaveAvx2Fma(). Same contract as
// HorizontalPass and VerticalPass; `integer` is IntegerForm(windows).
void HorizontalPassAvx2(const Bitmap24& src, Bitmap24& dst, const std::vector<Window>& windows,
                        const IntegerPass& integer);
void VerticalPassAvx2(Bitmap24& bmp, const std::vector<Window>& windows, const IntegerPass& integer);

}  // namespace fernpad::area_average::detail
