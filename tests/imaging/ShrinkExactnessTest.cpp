// The fast ShrinkTo against the straightforward per-pixel form, byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <cfenv>
#include <random>
#include <utility>
#include <vector>

#include "ShrinkReference.h"
#include "TestPictures.h"
#include "imaging/AreaAverage.h"
#include "imaging/AreaAverageKernels.h"
#include "imaging/BMPUtil.h"

namespace fernpad {
namespace {

using test::RandomPicture;
using test::ReferenceShrinkTo;

// Both kernel sets (the vectorised one where this processor has it, and the portable one) against the
// reference.
void ExpectSameAsReference(const Bitmap24& picture, int w, int h) {
  Bitmap24 reference = picture;
  ReferenceShrinkTo(reference, w, h);
  for (const auto kernels : {area_average::Kernels::Best, area_average::Kernels::Portable}) {
    area_average::UseKernels(kernels);
    Bitmap24 fast = picture;
    TBMPUtil util;
    util.SetBitmap(fast);
    util.ShrinkTo(w, h);
    area_average::UseKernels(area_average::Kernels::Best);
    ASSERT_TRUE(test::SamePixels(fast, reference))
        << (kernels == area_average::Kernels::Best ? "best" : "portable") << " kernels, " << picture.Width()
        << "x" << picture.Height() << " -> " << w << "x" << h << ": " << test::Describe(fast, reference);
  }
}

TEST(ShrinkExactness, ReferenceGivesTheDocumentedExamples) {
  Bitmap24 line = test::PatternPicture(3, 2, [](int x, int, int) { return 30 * (x + 1); });
  ReferenceShrinkTo(line, 2, 1);
  ASSERT_EQ(line.Width(), 2);
  EXPECT_EQ(line.Pixel(0, 0)[0], 40);
  EXPECT_EQ(line.Pixel(1, 0)[0], 72);
  Bitmap24 ties = test::PatternPicture(4, 2, [](int x, int, int) { return 10 + x; });
  ReferenceShrinkTo(ties, 2, 1);
  EXPECT_EQ(ties.Pixel(0, 0)[0], 10);
  EXPECT_EQ(ties.Pixel(1, 0)[0], 12);
}

TEST(ShrinkExactness, PassesOnADyadicGridUseTheIntegerForm) {
  // Any width to 1024 and 1080 rows to 768 lie on a grid of 2^-k; 1920 to 400 (a factor of 4.8) does not.
  for (const auto& [from, to] :
       std::vector<std::pair<int, int>>{{1920, 1024}, {1366, 1024}, {1080, 768}, {90, 30}}) {
    const auto integer = area_average::detail::IntegerForm(area_average::Windows(from, to));
    EXPECT_TRUE(integer.usable) << from << " -> " << to;
    EXPECT_EQ(integer.windows.size(), static_cast<size_t>(to));
  }
  for (const auto& [from, to] : std::vector<std::pair<int, int>>{{1920, 400}, {1080, 300}, {1024, 768}}) {
    EXPECT_FALSE(area_average::detail::IntegerForm(area_average::Windows(from, to)).usable)
        << from << " -> " << to;
  }
}

TEST(ShrinkExactness, SnapshotSizes) {
  std::mt19937 rng(20240601);
  for (const auto& [w, h, tw, th] : std::vector<std::array<int, 4>>{{1920, 1080, 400, 300},
                                                                    {1920, 1080, 1024, 768},
                                                                    {1366, 768, 400, 300},
                                                                    {2560, 1440, 1024, 768},
                                                                    {1280, 1024, 1024, 768},
                                                                    {1025, 769, 1024, 768}}) {
    ExpectSameAsReference(RandomPicture(w, h, rng), tw, th);
  }
}

TEST(ShrinkExactness, RandomSizes) {
  std::mt19937 rng(4242);
  std::uniform_int_distribution<int> size(2, 260);
  for (int n = 0; n < 200; ++n) {
    const int w = size(rng);
    const int h = size(rng);
    const int tw = std::uniform_int_distribution<int>(1, w - 1)(rng);
    const int th = std::uniform_int_distribution<int>(1, h - 1)(rng);
    ExpectSameAsReference(RandomPicture(w, h, rng), tw, th);
  }
}

TEST(ShrinkExactness, WholeRatiosAndTies) {
  // Whole and half ratios put many quotients exactly on a half, where rounding to even decides.
  std::mt19937 rng(99);
  for (const auto& [w, h, tw, th] : std::vector<std::array<int, 4>>{{4, 4, 2, 2},
                                                                    {8, 6, 4, 3},
                                                                    {90, 60, 45, 30},
                                                                    {90, 60, 30, 20},
                                                                    {300, 200, 200, 100},
                                                                    {64, 64, 16, 16}}) {
    ExpectSameAsReference(RandomPicture(w, h, rng), tw, th);
    // Small values make exact halves more likely still.
    Bitmap24 low = test::PatternPicture(
        w, h, [&](int, int, int) { return std::uniform_int_distribution<int>(0, 3)(rng); });
    ExpectSameAsReference(low, tw, th);
  }
}

// A caller's rounding mode and a lowered x87 precision (as some Windows libraries leave it) must not change
// a single byte.
TEST(ShrinkExactness, TheCallersFloatingPointStateDoesNotMatter) {
  std::mt19937 rng(77);
  const Bitmap24 picture = RandomPicture(333, 222, rng);
  for (const auto& [tw, th] : std::vector<std::pair<int, int>>{{100, 70}, {111, 74}}) {
    Bitmap24 reference = picture;
    ReferenceShrinkTo(reference, tw, th);
    for (const auto kernels : {area_average::Kernels::Best, area_average::Kernels::Portable}) {
      area_average::UseKernels(kernels);
      Bitmap24 fast = picture;
      const int rounding = std::fegetround();
      std::fesetround(FE_UPWARD);
#if defined(__x86_64__) && defined(__GNUC__)
      unsigned short control = 0;
      __asm__ volatile("fnstcw %0" : "=m"(control));
      const unsigned short doublePrecision = static_cast<unsigned short>((control & ~0x0300u) | 0x0200u);
      __asm__ volatile("fldcw %0" : : "m"(doublePrecision));
#endif
      TBMPUtil util;
      util.SetBitmap(fast);
      util.ShrinkTo(tw, th);
#if defined(__x86_64__) && defined(__GNUC__)
      __asm__ volatile("fldcw %0" : : "m"(control));
#endif
      std::fesetround(rounding);
      area_average::UseKernels(area_average::Kernels::Best);
      EXPECT_TRUE(test::SamePixels(fast, reference))
          << tw << "x" << th << ": " << test::Describe(fast, reference);
    }
  }
}

TEST(ShrinkExactness, ExtremeRatios) {
  std::mt19937 rng(5);
  for (const auto& [w, h, tw, th] : std::vector<std::array<int, 4>>{{5000, 3, 1, 1},
                                                                    {3, 5000, 2, 1},
                                                                    {4000, 2, 3, 1},
                                                                    {1001, 1000, 1000, 999},
                                                                    {2, 2, 1, 1},
                                                                    {9000, 4, 7, 3}}) {
    ExpectSameAsReference(RandomPicture(w, h, rng), tw, th);
  }
}

}  // namespace
}  // namespace fernpad
