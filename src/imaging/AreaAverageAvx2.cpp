// The area-average passes with AVX2 and FMA. Each lane does exactly what the portable kernels do for one
// byte (the fused multiply-add rounds the last term's exact sum once, as the x87 does), or, for passes on a
// fine dyadic grid, the exact integer form (IntegerPass).
//
// Vertical pass: lanes are neighbouring bytes of a row. Horizontal pass: eight rows at a time are interleaved
// byte by byte (row r's byte k goes to 8k + r), so that lanes are rows, a window's bytes for eight rows sit
// together and every lane does useful work; the results are interleaved the same way and then split back
// into rows.
#include "imaging/AreaAverageKernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))

#include <immintrin.h>

#include <algorithm>
#include <cstring>

#define FERNPAD_AVX2 __attribute__((target("avx2,fma")))
// Small fixed loops over registers must become straight code, or the sums go through memory.
#define FERNPAD_UNROLL _Pragma("GCC unroll 8")

namespace fernpad::area_average::detail {
namespace {

constexpr long long kTwoPow52Bits = 0x4330000000000000;  // the double 2^52
constexpr int kNearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
constexpr int kGroup = 8;  // rows interleaved in the horizontal pass

// ---- Exact double arithmetic ------------------------------------------------------------------------------

// Four bytes (the low 32 bits of v) as four doubles: each byte goes into the low mantissa bits of 2^52 and
// 2^52 is taken off again (exact, and cheaper than the integer conversion).
FERNPAD_AVX2 inline __m256d BytesToDoubles(std::uint32_t v) {
  const __m256i wide = _mm256_cvtepu8_epi64(_mm_cvtsi32_si128(static_cast<int>(v)));
  const __m256d magic = _mm256_castsi256_pd(_mm256_set1_epi64x(kTwoPow52Bits));
  return _mm256_sub_pd(_mm256_or_pd(_mm256_castsi256_pd(wide), magic), magic);
}

FERNPAD_AVX2 inline __m256d Load4(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return BytesToDoubles(v);
}

// Two vectors of whole numbers 0..255 as eight bytes, a's four first.
FERNPAD_AVX2 inline std::uint64_t PackBytes(__m256d a, __m256d b) {
  const __m256d magic = _mm256_castsi256_pd(_mm256_set1_epi64x(kTwoPow52Bits));
  // Each number into the low byte of its 64-bit lane (the low mantissa bits of 2^52 + n), b's one byte
  // higher.
  const __m256i ai = _mm256_castpd_si256(_mm256_add_pd(a, magic));
  const __m256i bi = _mm256_castpd_si256(_mm256_add_pd(b, magic));
  const __m256i low = _mm256_set1_epi64x(0xff);
  const __m256i both =
      _mm256_or_si256(_mm256_and_si256(ai, low), _mm256_slli_epi64(_mm256_and_si256(bi, low), 8));
  // Lanes 0 and 1 give bytes 0, 1 and 4, 5; lanes 2 and 3 give bytes 2, 3 and 6, 7.
  const __m256i order = _mm256_setr_epi8(0, 8, -1, -1, 1, 9, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                         -1, -1, 0, 8, -1, -1, 1, 9, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i placed = _mm256_shuffle_epi8(both, order);
  const __m128i merged = _mm_or_si128(_mm256_castsi256_si128(placed), _mm256_extracti128_si256(placed, 1));
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(merged));
}

// A window's constants, one in every lane.
struct Constants {
  __m256d wa, wb, t, inverseT, tieBelow, tieAbove;
  FERNPAD_AVX2 explicit Constants(const Window& w)
      : wa(_mm256_set1_pd(w.wa)),
        wb(_mm256_set1_pd(w.wb)),
        t(_mm256_set1_pd(w.t)),
        inverseT(_mm256_set1_pd(w.inverseT)),
        tieBelow(_mm256_set1_pd(w.tieBelow)),
        tieAbove(_mm256_set1_pd(w.tieAbove)) {}
};

// The quotients sum / t, taken in extended precision, rounded half to even (whole-number doubles), for lanes
// whose q = sum * (1 / t) is near a half (the rest are rounded q, n). Sets `unsettled` to the lanes (of
// `lanes`) it cannot decide, which ExactFinish must do (practically never).
//
// Near a half h (|q - h| < 1e-9 for q = sum * (1 / t)), r = sum - h * t, fused so that it is rounded once,
// has the sign of the exact difference. The extended quotient is h itself when |sum / t - h| is at most
// half an ulp of h at 64 bits, 2^(e - 64) for h in [2^e, 2^(e + 1)) (2^(e - 65) just below h = 0.5); then it
// rounds to the even neighbour of h, else to the neighbour on r's side. The two comparisons below use the
// smaller bound for "is h" and the larger for "is not", each with a margin, so neither can be wrong; what
// falls between is left unsettled.
FERNPAD_AVX2 inline __m256d SettleHalves(__m256d sum, __m256d q, __m256d n, __m256d nearHalf,
                                         const Constants& c, int lanes, int& unsettled) {
  const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
  const __m256d sign = _mm256_castsi256_pd(_mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ull)));
  const __m256d exponent = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7ff0000000000000));
  const __m256d h = _mm256_add_pd(_mm256_floor_pd(q), _mm256_set1_pd(0.5));
  const __m256d r = _mm256_fnmadd_pd(h, c.t, sum);
  const __m256d distance = _mm256_and_pd(r, magnitude);
  const __m256d power = _mm256_and_pd(h, exponent);  // 2^e
  const __m256d isHalf = _mm256_cmp_pd(distance, _mm256_mul_pd(power, c.tieBelow), _CMP_LT_OQ);
  const __m256d notHalf = _mm256_cmp_pd(distance, _mm256_mul_pd(power, c.tieAbove), _CMP_GT_OQ);
  // h itself rounds to even; h +- 0.25 rounds towards r's side.
  const __m256d step = _mm256_andnot_pd(isHalf, _mm256_or_pd(_mm256_and_pd(r, sign), _mm256_set1_pd(0.25)));
  const __m256d settled = _mm256_round_pd(_mm256_add_pd(h, step), kNearest);
  unsettled = _mm256_movemask_pd(_mm256_andnot_pd(_mm256_or_pd(isHalf, notHalf), nearHalf)) & lanes;
  return _mm256_blendv_pd(n, settled, nearHalf);
}

// Rounds the quotients of two vectors of sums (see SettleHalves), doing the work for halves only when a lane
// is near one.
FERNPAD_AVX2 inline void RoundQuotientPair(__m256d& lo, __m256d& hi, const Constants& c, int& unsettled) {
  const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffff));
  const __m256d band = _mm256_set1_pd(kTieBand);
  const __m256d qLo = _mm256_mul_pd(lo, c.inverseT);
  const __m256d qHi = _mm256_mul_pd(hi, c.inverseT);
  const __m256d nLo = _mm256_round_pd(qLo, kNearest);
  const __m256d nHi = _mm256_round_pd(qHi, kNearest);
  const __m256d nearLo = _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(qLo, nLo), magnitude), band, _CMP_GT_OQ);
  const __m256d nearHi = _mm256_cmp_pd(_mm256_and_pd(_mm256_sub_pd(qHi, nHi), magnitude), band, _CMP_GT_OQ);
  unsettled = 0;
  if (_mm256_testz_pd(_mm256_or_pd(nearLo, nearHi), _mm256_or_pd(nearLo, nearHi))) {
    lo = nLo;
    hi = nHi;
    return;
  }
  int unsettledLo = 0, unsettledHi = 0;
  lo = SettleHalves(lo, qLo, nLo, nearLo, c, 0b1111, unsettledLo);
  hi = SettleHalves(hi, qHi, nHi, nearHi, c, 0b1111, unsettledHi);
  unsettled = unsettledLo | unsettledHi << 4;
}

// ---- Exact integer arithmetic (IntegerPass) ---------------------------------------------------------------

// Eight bytes as eight 32-bit integers.
FERNPAD_AVX2 inline __m256i Load8(const std::uint8_t* p) {
  return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
}

// WA * first + WB * last + 2^shift * (middle), the weights packed as in IntegerWindow.
FERNPAD_AVX2 inline __m256i IntegerSum(__m256i first, __m256i last, __m256i middle, __m256i weights,
                                       __m128i shift) {
  const __m256i ends = _mm256_madd_epi16(_mm256_or_si256(first, _mm256_slli_epi32(last, 16)), weights);
  return _mm256_add_epi32(ends, _mm256_sll_epi32(middle, shift));
}

// The eight quotients S / T rounded half to even (see IntegerPass).
FERNPAD_AVX2 inline __m256i RoundIntegerQuotients(__m256i sum, __m256 inverseT) {
  const __m256 q = _mm256_mul_ps(_mm256_cvtepi32_ps(sum), inverseT);
  const __m256 h = _mm256_add_ps(_mm256_floor_ps(q), _mm256_set1_ps(0.5f));
  const __m256 gap = _mm256_andnot_ps(_mm256_set1_ps(-0.0f), _mm256_sub_ps(q, h));
  const __m256 snapped = _mm256_blendv_ps(q, h, _mm256_cmp_ps(gap, _mm256_set1_ps(0x1p-14f), _CMP_LT_OQ));
  return _mm256_cvtps_epi32(_mm256_round_ps(snapped, kNearest));
}

// Two vectors of eight integers 0..255 as sixteen bytes, a's first.
FERNPAD_AVX2 inline __m128i PackIntegers(__m256i a, __m256i b) {
  const __m256i words = _mm256_permute4x64_epi64(_mm256_packus_epi32(a, b), 0b11011000);  // a0..7, b0..7
  const __m256i bytes = _mm256_packus_epi16(words, words);                                // a, a | b, b
  return _mm256_castsi256_si128(_mm256_permute4x64_epi64(bytes, 0b1000));
}

// ---- The vertical pass ------------------------------------------------------------------------------------

// One destination row from the window's rows (rows[0 .. span]); out may be rows[0].
FERNPAD_AVX2 void VerticalRowDouble(const std::uint8_t* const* rows, int span, std::uint8_t* out,
                                    std::size_t bytes, const Window& w) {
  const Constants c(w);
  std::size_t k = 0;
  for (; k + 8 <= bytes; k += 8) {
    __m256d lo = _mm256_mul_pd(c.wa, Load4(rows[0] + k));
    __m256d hi = _mm256_mul_pd(c.wa, Load4(rows[0] + k + 4));
    if (span > 0) {
      for (int j = 1; j < span; ++j) {
        lo = _mm256_add_pd(lo, Load4(rows[j] + k));
        hi = _mm256_add_pd(hi, Load4(rows[j] + k + 4));
      }
      lo = _mm256_fmadd_pd(c.wb, Load4(rows[span] + k), lo);
      hi = _mm256_fmadd_pd(c.wb, Load4(rows[span] + k + 4), hi);
    }
    alignas(32) double sums[8];
    _mm256_store_pd(sums, lo);
    _mm256_store_pd(sums + 4, hi);
    int unsettled = 0;
    RoundQuotientPair(lo, hi, c, unsettled);
    const std::uint64_t packed = PackBytes(lo, hi);
    std::memcpy(out + k, &packed, 8);
    for (int lane = 0; unsettled && lane < 8; ++lane) {
      if (unsettled & (1 << lane)) out[k + lane] = ExactFinish(sums[lane], w.t);
    }
  }
  for (; k < bytes; ++k) {  // the rest, as the portable kernel does it
    double sum = w.wa * rows[0][k];
    if (span > 0) {
      for (int j = 1; j < span; ++j) sum += rows[j][k];
      sum = AddLast(sum, w.wb, rows[span][k]);
    }
    out[k] = Finish(sum, w);
  }
}

FERNPAD_AVX2 void VerticalRowInteger(const std::uint8_t* const* rows, int span, std::uint8_t* out,
                                     std::size_t bytes, const IntegerWindow& w, int shift) {
  const __m256i weights = _mm256_set1_epi32(w.weights);
  const __m128i shiftCount = _mm_cvtsi32_si128(shift);
  const __m256 inverseT = _mm256_set1_ps(w.inverseT);
  std::size_t k = 0;
  for (; k + 16 <= bytes; k += 16) {
    __m256i middleLo = _mm256_setzero_si256(), middleHi = _mm256_setzero_si256();
    for (int j = 1; j < span; ++j) {
      middleLo = _mm256_add_epi32(middleLo, Load8(rows[j] + k));
      middleHi = _mm256_add_epi32(middleHi, Load8(rows[j] + k + 8));
    }
    const __m256i lo = IntegerSum(Load8(rows[0] + k), Load8(rows[span] + k), middleLo, weights, shiftCount);
    const __m256i hi =
        IntegerSum(Load8(rows[0] + k + 8), Load8(rows[span] + k + 8), middleHi, weights, shiftCount);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k),
                     PackIntegers(RoundIntegerQuotients(lo, inverseT), RoundIntegerQuotients(hi, inverseT)));
  }
  for (; k < bytes; k += 8) {  // the rest through a padded copy
    alignas(16) std::uint8_t in[3][16] = {};
    const std::size_t n = std::min<std::size_t>(8, bytes - k);
    std::uint8_t middle[16] = {};
    std::memcpy(in[0], rows[0] + k, n);
    std::memcpy(in[1], rows[span] + k, n);
    __m256i sumMiddle = _mm256_setzero_si256();
    for (int j = 1; j < span; ++j) {
      std::memcpy(middle, rows[j] + k, n);
      sumMiddle = _mm256_add_epi32(sumMiddle, Load8(middle));
    }
    const __m256i sum = IntegerSum(Load8(in[0]), Load8(in[1]), sumMiddle, weights, shiftCount);
    const __m128i packed = PackIntegers(RoundIntegerQuotients(sum, inverseT), _mm256_setzero_si256());
    std::memcpy(in[2], &packed, 16);
    std::memcpy(out + k, in[2], n);
  }
}

// ---- Interleaving eight rows ------------------------------------------------------------------------------

// 8 x 8 transpose of 16-bit words: row r of the result holds word r of every input.
FERNPAD_AVX2 inline void TransposeWords(__m128i x[8]) {
  __m128i a[8], b[8];
  FERNPAD_UNROLL for (int i = 0; i < 4; ++i) {
    a[2 * i] = _mm_unpacklo_epi16(x[2 * i], x[2 * i + 1]);
    a[2 * i + 1] = _mm_unpackhi_epi16(x[2 * i], x[2 * i + 1]);
  }
  FERNPAD_UNROLL for (int i = 0; i < 2; ++i) {
    b[4 * i + 0] = _mm_unpacklo_epi32(a[4 * i + 0], a[4 * i + 2]);
    b[4 * i + 1] = _mm_unpackhi_epi32(a[4 * i + 0], a[4 * i + 2]);
    b[4 * i + 2] = _mm_unpacklo_epi32(a[4 * i + 1], a[4 * i + 3]);
    b[4 * i + 3] = _mm_unpackhi_epi32(a[4 * i + 1], a[4 * i + 3]);
  }
  FERNPAD_UNROLL for (int i = 0; i < 4; ++i) {
    x[2 * i] = _mm_unpacklo_epi64(b[i], b[i + 4]);
    x[2 * i + 1] = _mm_unpackhi_epi64(b[i], b[i + 4]);
  }
}

// out[8k + r] = rows[r][k] for k < bytes.
FERNPAD_AVX2 void Interleave(const std::uint8_t* const rows[kGroup], std::size_t bytes, std::uint8_t* out) {
  // After the word transpose, register m holds (row r: bytes 2m, 2m + 1) for r = 0..7; put the eight rows'
  // byte 2m first, then their byte 2m + 1.
  const __m128i order = _mm_setr_epi8(0, 2, 4, 6, 8, 10, 12, 14, 1, 3, 5, 7, 9, 11, 13, 15);
  std::size_t k = 0;
  for (; k + 16 <= bytes; k += 16) {
    __m128i x[8];
    FERNPAD_UNROLL for (int r = 0; r < kGroup; ++r) x[r] =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[r] + k));
    TransposeWords(x);
    FERNPAD_UNROLL for (int m = 0; m < 8; ++m) {
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kGroup * k + 16 * m), _mm_shuffle_epi8(x[m], order));
    }
  }
  for (; k < bytes; ++k) {
    for (int r = 0; r < kGroup; ++r) out[kGroup * k + r] = rows[r][k];
  }
}

// rows[r][k] = in[8k + r] for k < bytes and r < count.
FERNPAD_AVX2 void Deinterleave(const std::uint8_t* in, std::size_t bytes, std::uint8_t* const rows[kGroup],
                               int count) {
  // Register m holds bytes 2m and 2m + 1 of all eight rows; gather each row's two bytes into word r.
  const __m128i order = _mm_setr_epi8(0, 8, 1, 9, 2, 10, 3, 11, 4, 12, 5, 13, 6, 14, 7, 15);
  std::size_t k = 0;
  for (; k + 16 <= bytes; k += 16) {
    __m128i x[8];
    FERNPAD_UNROLL for (int m = 0; m < 8; ++m) {
      x[m] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + kGroup * k + 16 * m)),
                              order);
    }
    TransposeWords(x);
    FERNPAD_UNROLL for (int r = 0; r < kGroup; ++r) {
      if (r < count) _mm_storeu_si128(reinterpret_cast<__m128i*>(rows[r] + k), x[r]);
    }
  }
  for (; k < bytes; ++k) {
    for (int r = 0; r < count; ++r) rows[r][k] = in[kGroup * k + r];
  }
}

// ---- The horizontal pass ----------------------------------------------------------------------------------

// Window w for the eight interleaved rows in `in` (source pixel j's channel c at in + 8 * (3j + c)): its
// three channels, all eight rows, into out (24 bytes, channel by channel). The three channels go through the
// window together, six independent sums, so that the additions' latency overlaps.
FERNPAD_AVX2 inline void HorizontalWindowDouble(const std::uint8_t* in, const Window& w, const Constants& c,
                                                std::uint8_t* out) {
  auto at = [in](int j) { return in + kGroup * 3 * static_cast<std::size_t>(j); };
  __m256d sum[6];
  const std::uint8_t* first = at(w.a);
  FERNPAD_UNROLL for (int k = 0; k < 6; ++k) sum[k] = _mm256_mul_pd(c.wa, Load4(first + 4 * k));
  if (w.b > w.a) {
    for (int j = w.a + 1; j < w.b; ++j) {
      const std::uint8_t* p = at(j);
      FERNPAD_UNROLL for (int k = 0; k < 6; ++k) sum[k] = _mm256_add_pd(sum[k], Load4(p + 4 * k));
    }
    const std::uint8_t* last = at(w.b);
    FERNPAD_UNROLL for (int k = 0; k < 6; ++k) sum[k] = _mm256_fmadd_pd(c.wb, Load4(last + 4 * k), sum[k]);
  }
  FERNPAD_UNROLL for (int channel = 0; channel < 3; ++channel) {
    __m256d lo = sum[2 * channel], hi = sum[2 * channel + 1];
    int unsettled = 0;
    RoundQuotientPair(lo, hi, c, unsettled);
    const std::uint64_t packed = PackBytes(lo, hi);
    std::memcpy(out + 8 * channel, &packed, 8);
    if (unsettled) {
      alignas(32) double sums[8];
      _mm256_store_pd(sums, sum[2 * channel]);
      _mm256_store_pd(sums + 4, sum[2 * channel + 1]);
      for (int lane = 0; lane < 8; ++lane) {
        if (unsettled & (1 << lane)) out[8 * channel + lane] = ExactFinish(sums[lane], w.t);
      }
    }
  }
}

// The same with the integer form: three vectors of eight results, one per channel.
FERNPAD_AVX2 inline void HorizontalWindowInteger(const std::uint8_t* in, const IntegerWindow& w,
                                                 __m128i shift, __m256i result[3]) {
  auto at = [in](int j) { return in + kGroup * 3 * static_cast<std::size_t>(j); };
  __m256i middle[3] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256()};
  for (int j = w.a + 1; j < w.b; ++j) {
    const std::uint8_t* p = at(j);
    FERNPAD_UNROLL for (int k = 0; k < 3; ++k) middle[k] = _mm256_add_epi32(middle[k], Load8(p + 8 * k));
  }
  const __m256i weights = _mm256_set1_epi32(w.weights);
  const __m256 inverseT = _mm256_set1_ps(w.inverseT);
  const std::uint8_t* first = at(w.a);
  const std::uint8_t* last = at(w.b);
  FERNPAD_UNROLL for (int k = 0; k < 3; ++k) {
    const __m256i sum = IntegerSum(Load8(first + 8 * k), Load8(last + 8 * k), middle[k], weights, shift);
    result[k] = RoundIntegerQuotients(sum, inverseT);
  }
}

// All windows of eight interleaved rows: in (3 * W slots of 8 bytes) to out (3 * w slots of 8 bytes).
FERNPAD_AVX2 void HorizontalGroup(const std::uint8_t* in, std::uint8_t* out,
                                  const std::vector<Window>& windows, const IntegerPass& integer) {
  if (integer.usable) {
    const __m128i shift = _mm_cvtsi32_si128(integer.shift);
    // Two windows at a time: six slots, three stores of sixteen bytes.
    std::size_t i = 0;
    for (; i + 2 <= windows.size(); i += 2) {
      __m256i n[6];
      HorizontalWindowInteger(in, integer.windows[i], shift, n);
      HorizontalWindowInteger(in, integer.windows[i + 1], shift, n + 3);
      FERNPAD_UNROLL for (int k = 0; k < 3; ++k) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kGroup * (3 * i + 2 * k)),
                         PackIntegers(n[2 * k], n[2 * k + 1]));
      }
    }
    if (i < windows.size()) {
      __m256i n[3];
      HorizontalWindowInteger(in, integer.windows[i], shift, n);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + kGroup * 3 * i), PackIntegers(n[0], n[1]));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + kGroup * (3 * i + 2)), PackIntegers(n[2], n[2]));
    }
    return;
  }
  for (std::size_t i = 0; i < windows.size(); ++i) {
    HorizontalWindowDouble(in, windows[i], Constants(windows[i]), out + kGroup * 3 * i);
  }
}

}  // namespace

bool HaveAvx2Fma() {
  static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  return have;
}

FERNPAD_AVX2 void HorizontalPassAvx2(const Bitmap24& src, Bitmap24& dst, const std::vector<Window>& windows,
                                     const IntegerPass& integer) {
  const std::size_t inBytes = 3 * static_cast<std::size_t>(src.Width());
  const std::size_t outBytes = 3 * windows.size();
  std::vector<std::uint8_t> in(kGroup * inBytes), out(kGroup * outBytes);
  for (int y0 = 0; y0 < src.Height(); y0 += kGroup) {
    const int count = std::min(kGroup, src.Height() - y0);
    const std::uint8_t* inRows[kGroup];
    std::uint8_t* outRows[kGroup];
    for (int r = 0; r < kGroup; ++r) {
      const int y = y0 + std::min(r, count - 1);  // a short last group repeats its last row
      inRows[r] = src.Row(y);
      outRows[r] = dst.Row(y);
    }
    Interleave(inRows, inBytes, in.data());
    HorizontalGroup(in.data(), out.data(), windows, integer);
    Deinterleave(out.data(), outBytes, outRows, count);
  }
}

FERNPAD_AVX2 void VerticalPassAvx2(Bitmap24& bmp, const std::vector<Window>& windows,
                                   const IntegerPass& integer) {
  const std::size_t bytes = 3 * static_cast<std::size_t>(bmp.Width());
  std::vector<const std::uint8_t*> rows;
  for (std::size_t i = 0; i < windows.size(); ++i) {
    const Window& w = windows[i];
    rows.clear();
    for (int j = w.a; j <= w.b; ++j) rows.push_back(bmp.Row(j));
    std::uint8_t* out = bmp.Row(static_cast<int>(i));
    if (integer.usable) {
      VerticalRowInteger(rows.data(), w.b - w.a, out, bytes, integer.windows[i], integer.shift);
    } else {
      VerticalRowDouble(rows.data(), w.b - w.a, out, bytes, w);
    }
  }
}

}  // namespace fernpad::area_average::detail

#else

namespace fernpad::area_average::detail {
bool HaveAvx2Fma() {
  return false;
}
void HorizontalPassAvx2(const Bitmap24&, Bitmap24&, const std::vector<Window>&, const IntegerPass&) {}
void VerticalPassAvx2(Bitmap24&, const std::vector<Window>&, const IntegerPass&) {}
}  // namespace fernpad::area_average::detail

#endif
