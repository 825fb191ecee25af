#include "imaging/PlainScale.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <stdexcept>
#include <tuple>
#include <vector>

#include "TestPictures.h"

namespace fernpad {
namespace {

TEST(NearestSourceIndex, SameSizeIsIdentity) {
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(NearestSourceIndex(i, 1000, 1000), i);
}

TEST(NearestSourceIndex, WholeEnlargementRepeatsEachPixel) {
  std::vector<int> got;
  for (int i = 0; i < 9; ++i) got.push_back(NearestSourceIndex(i, 3, 9));
  EXPECT_EQ(got, (std::vector<int>{0, 0, 0, 1, 1, 1, 2, 2, 2}));
}

TEST(NearestSourceIndex, WholeReductionTakesTheCentres) {
  std::vector<int> got;
  for (int i = 0; i < 4; ++i) got.push_back(NearestSourceIndex(i, 8, 4));
  EXPECT_EQ(got, (std::vector<int>{1, 3, 5, 7}));
  got.clear();
  for (int i = 0; i < 3; ++i) got.push_back(NearestSourceIndex(i, 9, 3));
  EXPECT_EQ(got, (std::vector<int>{1, 4, 7}));
}

TEST(NearestSourceIndex, AlwaysInRangeAndAscending) {
  for (const auto& [from, to] : std::vector<std::pair<int, int>>{
           {1920, 400}, {1080, 300}, {800, 1024}, {600, 768}, {1, 768}, {768, 1}, {65535, 3}, {3, 65535}}) {
    int previous = -1;
    for (int i = 0; i < to; ++i) {
      const int s = NearestSourceIndex(i, from, to);
      ASSERT_GE(s, previous);
      ASSERT_LT(s, from);
      previous = s;
    }
  }
}

TEST(ScaleNearest, PixelsAreCopiedNeverAveraged) {
  std::mt19937 rng(3);
  const Bitmap24 source = test::RandomPicture(1920, 1080, rng);
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{400, 300}, {1024, 768}, {2000, 1200}, {1, 1}}) {
    const Bitmap24 out = ScaleNearest(source, w, h);
    ASSERT_EQ(out.Width(), w);
    ASSERT_EQ(out.Height(), h);
    for (int y = 0; y < h; y += 7) {
      for (int x = 0; x < w; x += 3) {
        const auto* want = source.Pixel(NearestSourceIndex(x, 1920, w), NearestSourceIndex(y, 1080, h));
        const auto* got = out.Pixel(x, y);
        ASSERT_EQ(std::tie(got[0], got[1], got[2]), std::tie(want[0], want[1], want[2])) << x << "," << y;
      }
    }
  }
}

TEST(ScaleNearest, EnlargesToExactlyTheTarget) {
  const Bitmap24 source =
      test::PatternPicture(800, 600, [](int x, int y, int c) { return (x + 2 * y + c) & 255; });
  const Bitmap24 out = ScaleNearest(source, 1024, 768);
  ASSERT_EQ(out.Width(), 1024);
  ASSERT_EQ(out.Height(), 768);
  // Rows and columns are repeated: both corners come from the source's corners.
  EXPECT_EQ(out.Pixel(0, 0)[0], source.Pixel(0, 0)[0]);
  EXPECT_EQ(out.Pixel(1023, 767)[2], source.Pixel(799, 599)[2]);
}

TEST(ScaleNearest, SameSizeCopies) {
  std::mt19937 rng(4);
  const Bitmap24 source = test::RandomPicture(37, 11, rng);
  EXPECT_TRUE(test::SamePixels(ScaleNearest(source, 37, 11), source));
}

TEST(ScaleNearest, SqueezesWithoutKeepingTheAspect) {
  // Vertical stripes 16 px wide on 1920 x 1080 become 10/3 px wide stripes on 400 x 300: the picture is
  // squeezed horizontally, each output column taking its centre's stripe.
  const Bitmap24 source =
      test::PatternPicture(1920, 1080, [](int x, int, int) { return (x / 16) % 2 ? 255 : 0; });
  const Bitmap24 out = ScaleNearest(source, 400, 300);
  std::set<int> values;
  for (int x = 0; x < 400; ++x) {
    const int expect = (NearestSourceIndex(x, 1920, 400) / 16) % 2 ? 255 : 0;
    EXPECT_EQ(out.Pixel(x, 150)[0], expect);
    values.insert(out.Pixel(x, 0)[1]);
  }
  EXPECT_EQ(values, (std::set<int>{0, 255}));
}

TEST(ScaleNearest, BadArguments) {
  const Bitmap24 source(4, 4);
  EXPECT_THROW(ScaleNearest(source, -1, 4), std::invalid_argument);
  EXPECT_THROW(ScaleNearest(Bitmap24(), 4, 4), std::invalid_argument);
  EXPECT_TRUE(ScaleNearest(source, 0, 5).Empty());
}

}  // namespace
}  // namespace fernpad
