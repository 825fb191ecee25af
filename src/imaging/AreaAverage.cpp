#include "imaging/AreaAverage.h"

#include <algorithm>
#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "imaging/AreaAverageKernels.h"

// Why double arithmetic gives the extended-precision bits here.
//
// Every weight is exact as a double: wa = a + 0.5 - s and wb = e - b + 0.5 lie in [0, 1] and are multiples of
// ulp(s) and ulp(e), which are at least 2^-53. In a window after the first, s >= 0.5 W / w, so every partial
// sum is a multiple of g = ulp(s) > s * 2^-53 and smaller than 255 * (W / w + 2); the quotient of the two is
// below 2^64, so each exact partial sum fits the 64-bit mantissa (the first window, with s = 0, has g = 0.5
// up to its last term and fits as well). The x87 therefore forms each sum exactly and rounds it once, on the
// store to double. For the first term (sum 0 plus wa * byte) and the middle ones (sum plus a whole byte)
// that single rounding is exactly what a double multiplication or addition does. The last term's product
// wb * byte needs up to 61 bits, so it is formed and added in extended precision (or by a fused
// multiply-add, which rounds the same exact value once). For the final division, sum * (1 / t) in double
// decides wherever the quotient is not within 1e-9 of a half; there the extended quotient's rounding is
// worked out exactly (see kTieBand).
namespace fernpad::area_average {
namespace {

using detail::AddLast;
using detail::Finish;

std::atomic<bool> gPortable{false};

// Round to nearest, and on x86 the x87 at its full 64-bit precision, for as long as a pass runs, whatever the
// caller's floating-point state (some Windows libraries lower the x87 precision for their own speed).
class ExactEnvironment {
 public:
  ExactEnvironment() : rounding_(std::fegetround()) {
    if (rounding_ != FE_TONEAREST) std::fesetround(FE_TONEAREST);
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    __asm__ volatile("fnstcw %0" : "=m"(control_));
    const unsigned short wanted = static_cast<unsigned short>((control_ & ~0x0F00u) | 0x0300u);
    if (wanted != control_) __asm__ volatile("fldcw %0" : : "m"(wanted));
#endif
  }
  ~ExactEnvironment() {
#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
    __asm__ volatile("fldcw %0" : : "m"(control_));
#endif
    if (rounding_ != FE_TONEAREST) std::fesetround(rounding_);
  }
  ExactEnvironment(const ExactEnvironment&) = delete;
  ExactEnvironment& operator=(const ExactEnvironment&) = delete;

 private:
  int rounding_;
  unsigned short control_ = 0;
};

bool Vectorised() {
  return !gPortable.load(std::memory_order_relaxed) && detail::HaveAvx2Fma();
}

constexpr std::size_t kVerticalBlock = 2048;  // bytes of a row summed at a time (16 KiB of sums)

}  // namespace

Bounds WindowBounds(int i, long double q, int srcSize) {
  long double s = (static_cast<long double>(i) - 0.5L) / q;
  if (s < 0) s = 0;
  long double e = (static_cast<long double>(i) + 0.5L) / q;
  const long double last = srcSize - 1;
  if (e > last) e = last;
  return {static_cast<double>(s), static_cast<double>(e)};
}

std::vector<Window> Windows(int srcSize, int dstSize) {
  const ExactEnvironment environment;
  const long double q = static_cast<long double>(dstSize) / static_cast<long double>(srcSize);
  std::vector<Window> windows(static_cast<std::size_t>(dstSize));
  for (int i = 0; i < dstSize; ++i) {
    const Bounds bounds = WindowBounds(i, q, srcSize);
    Window& w = windows[static_cast<std::size_t>(i)];
    w.t = static_cast<double>(static_cast<long double>(bounds.e) - static_cast<long double>(bounds.s));
    w.a = static_cast<int>(std::lrint(bounds.s));
    w.b = static_cast<int>(std::lrint(bounds.e));
    w.wa = static_cast<double>(static_cast<long double>(w.a) + 0.5L - static_cast<long double>(bounds.s));
    w.wb = static_cast<double>(static_cast<long double>(bounds.e) - static_cast<long double>(w.b) + 0.5L);
    w.inverseT = 1.0 / w.t;
    w.tieBelow = w.t * std::ldexp(1.0 - std::ldexp(1.0, -50), -65);
    w.tieAbove = w.t * std::ldexp(1.0 + std::ldexp(1.0, -50), -64);
  }
  return windows;
}

void HorizontalPass(const Bitmap24& src, Bitmap24& dst, const std::vector<Window>& windows) {
  const ExactEnvironment environment;
  if (Vectorised()) {
    detail::HorizontalPassAvx2(src, dst, windows, detail::IntegerForm(windows));
    return;
  }
  for (int y = 0; y < src.Height(); ++y) {
    const std::uint8_t* in = src.Row(y);
    std::uint8_t* out = dst.Row(y);
    for (const Window& w : windows) {
      const std::uint8_t* p = in + 3 * static_cast<std::size_t>(w.a);
      double c0 = w.wa * p[0];
      double c1 = w.wa * p[1];
      double c2 = w.wa * p[2];
      if (w.b > w.a) {
        const std::uint8_t* last = in + 3 * static_cast<std::size_t>(w.b);
        for (p += 3; p < last; p += 3) {
          c0 += p[0];
          c1 += p[1];
          c2 += p[2];
        }
        c0 = AddLast(c0, w.wb, last[0]);
        c1 = AddLast(c1, w.wb, last[1]);
        c2 = AddLast(c2, w.wb, last[2]);
      }
      out[0] = Finish(c0, w);
      out[1] = Finish(c1, w);
      out[2] = Finish(c2, w);
      out += 3;
    }
  }
}

void VerticalPass(Bitmap24& bmp, const std::vector<Window>& windows) {
  const ExactEnvironment environment;
  const std::size_t rowBytes = 3 * static_cast<std::size_t>(bmp.Width());
  if (Vectorised()) {
    detail::VerticalPassAvx2(bmp, windows, detail::IntegerForm(windows));
    return;
  }
  std::vector<double> sums(std::min(rowBytes, kVerticalBlock));
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const Window& w = windows[i];
    std::uint8_t* out = bmp.Row(static_cast<int>(i));
    for (std::size_t begin = 0; begin < rowBytes; begin += kVerticalBlock) {
      const std::size_t n = std::min(kVerticalBlock, rowBytes - begin);
      double* acc = sums.data();
      const std::uint8_t* first = bmp.Row(w.a) + begin;
      for (std::size_t k = 0; k < n; ++k) acc[k] = w.wa * first[k];
      if (w.b > w.a) {
        for (int j = w.a + 1; j < w.b; ++j) {
          const std::uint8_t* row = bmp.Row(j) + begin;
          for (std::size_t k = 0; k < n; ++k) acc[k] += row[k];
        }
        const std::uint8_t* last = bmp.Row(w.b) + begin;
        for (std::size_t k = 0; k < n; ++k) acc[k] = AddLast(acc[k], w.wb, last[k]);
      }
      for (std::size_t k = 0; k < n; ++k) out[begin + k] = Finish(acc[k], w);
    }
  }
}

namespace detail {

IntegerPass IntegerForm(const std::vector<Window>& windows) {
  IntegerPass pass;
  // The coarsest grid all bounds lie on; wa, wb and t are on it when the bounds are.
  auto onGrid = [](double v, int shift) {
    const double scaled = std::ldexp(v, shift);
    return scaled == std::floor(scaled);
  };
  int shift = 0;
  for (const Window& w : windows) {
    while (shift <= kMaxIntegerShift && !(onGrid(w.wa, shift) && onGrid(w.wb, shift) && onGrid(w.t, shift)))
      ++shift;
    if (shift > kMaxIntegerShift) return pass;
  }
  pass.shift = shift;
  pass.windows.reserve(windows.size());
  for (const Window& w : windows) {
    const double wa = std::ldexp(w.wa, shift);
    const double wb = w.b > w.a ? std::ldexp(w.wb, shift) : 0;
    const double t = std::ldexp(w.t, shift);
    const double largest = 255 * (wa + wb + std::ldexp(std::max(0, w.b - w.a - 1), shift));
    if (largest >= kMaxIntegerSum || t >= kMaxIntegerT) return pass;
    IntegerWindow iw;
    iw.a = w.a;
    iw.b = w.b;
    iw.weights = static_cast<std::int32_t>(wa) | static_cast<std::int32_t>(wb) << 16;
    iw.inverseT = static_cast<float>(1.0 / t);
    pass.windows.push_back(iw);
  }
  pass.usable = true;
  return pass;
}

}  // namespace detail

void UseKernels(Kernels kernels) {
  gPortable.store(kernels == Kernels::Portable, std::memory_order_relaxed);
}

bool BestKernelsAreVectorised() {
  return detail::HaveAvx2Fma();
}

}  // namespace fernpad::area_average
