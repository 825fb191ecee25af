#include "imaging/BMPUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <utility>
#include <vector>

#include "TestPictures.h"
#include "imaging/AreaAverage.h"

namespace fernpad {
namespace {

using test::PatternPicture;
using test::RandomPicture;
using test::SamePixels;
using test::UniformPicture;

// A picture `rows` high whose every row is the given line, the same byte in all three channels.
Bitmap24 LinePicture(const std::vector<int>& line, int rows = 2) {
  return PatternPicture(static_cast<int>(line.size()), rows, [&](int x, int, int) { return line[x]; });
}
// The same line standing as a column, `columns` wide.
Bitmap24 ColumnPicture(const std::vector<int>& line, int columns = 2) {
  return PatternPicture(columns, static_cast<int>(line.size()), [&](int, int y, int) { return line[y]; });
}

std::vector<int> Row0(const Bitmap24& bmp, int channel = 0) {
  std::vector<int> v;
  for (int x = 0; x < bmp.Width(); ++x) v.push_back(bmp.Pixel(x, 0)[channel]);
  return v;
}
std::vector<int> Column0(const Bitmap24& bmp, int channel = 0) {
  std::vector<int> v;
  for (int y = 0; y < bmp.Height(); ++y) v.push_back(bmp.Pixel(0, y)[channel]);
  return v;
}

void ExpectRowsMatch(const TBMPUtil& util) {
  ASSERT_EQ(util.Rows().size(), static_cast<size_t>(util.Bitmap()->Height()));
  for (int y = 0; y < util.Bitmap()->Height(); ++y) EXPECT_EQ(util.Rows()[y], util.Bitmap()->Row(y));
}

// Shrinks a line both as a row and as a column and checks both results.
void ExpectLineShrinks(const std::vector<int>& line, int size, const std::vector<int>& expected) {
  Bitmap24 row = LinePicture(line);
  TBMPUtil util;
  util.SetBitmap(row);
  util.ShrinkTo(size, 1);
  ASSERT_EQ(row.Width(), size);
  ASSERT_EQ(row.Height(), 1);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(Row0(row, c), expected);
  ExpectRowsMatch(util);

  Bitmap24 column = ColumnPicture(line);
  util.SetBitmap(column);
  util.ShrinkTo(1, size);
  ASSERT_EQ(column.Width(), 1);
  ASSERT_EQ(column.Height(), size);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(Column0(column, c), expected);
}

TEST(ShrinkTo, FourBytesToTwoRoundHalfToEven) {
  // First window 0.5 * 10 + 0.5 * 11 over t = 1: 10.5, rounded to the even 10.
  ExpectLineShrinks({10, 11, 12, 13}, 2, {10, 12});
  ExpectLineShrinks({11, 12, 13, 14}, 2, {12, 13});
}

TEST(ShrinkTo, ThreeBytesToTwo) {
  const auto windows = area_average::Windows(3, 2);
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_EQ(windows[0].a, 0);
  EXPECT_EQ(windows[0].b, 1);
  EXPECT_EQ(windows[0].wa, 0.5);
  EXPECT_EQ(windows[0].wb, 0.25);
  EXPECT_EQ(windows[0].t, 0.75);
  EXPECT_EQ(windows[1].a, 1);
  EXPECT_EQ(windows[1].b, 2);
  EXPECT_EQ(windows[1].wa, 0.75);
  EXPECT_EQ(windows[1].wb, 0.5);
  EXPECT_EQ(windows[1].t, 1.25);
  ExpectLineShrinks({30, 60, 90}, 2, {40, 72});
}

TEST(ShrinkTo, TenPixelsToFourWindows) {
  const auto windows = area_average::Windows(10, 4);
  ASSERT_EQ(windows.size(), 4u);
  const double bounds[4][2] = {{0, 1.25}, {1.25, 3.75}, {3.75, 6.25}, {6.25, 8.75}};
  const long double q = 4.0L / 10.0L;
  for (int i = 0; i < 4; ++i) {
    const auto b = area_average::WindowBounds(i, q, 10);
    EXPECT_EQ(b.s, bounds[i][0]) << i;
    EXPECT_EQ(b.e, bounds[i][1]) << i;
  }
  // The last window: pixels 6 and 9 weigh 0.25, pixels 7 and 8 weigh 1, over t = 2.5.
  EXPECT_EQ(windows[3].a, 6);
  EXPECT_EQ(windows[3].b, 9);
  EXPECT_EQ(windows[3].wa, 0.25);
  EXPECT_EQ(windows[3].wb, 0.25);
  EXPECT_EQ(windows[3].t, 2.5);
  EXPECT_EQ(windows[0].a, 0);
  EXPECT_EQ(windows[0].b, 1);
  EXPECT_EQ(windows[0].wa, 0.5);
  EXPECT_EQ(windows[0].wb, 0.75);
  // 0, 10, ..., 90: the last window gives (0.25 * 60 + 70 + 80 + 0.25 * 90) / 2.5 = 75.
  // The first (0.5 * 0 + 0.75 * 10) / 1.25 = 6; the second (2.5 + 20 + 30 + 10) / 2.5 = 25;
  // the third (0.75 * 40 + 50 + 0.75 * 60) / 2.5 = 50.
  ExpectLineShrinks({0, 10, 20, 30, 40, 50, 60, 70, 80, 90}, 4, {6, 25, 50, 75});
}

TEST(ShrinkTo, LastWindowEndsBeforeTheLastPixelForLargeFactors) {
  // 1366 to 400: the last window ends at 1366 - 0.5 * 1366 / 400 = 1364.2925; pixel 1364 weighs 0.7925 and
  // pixel 1365 is not used.
  const auto windows = area_average::Windows(1366, 400);
  const auto& last = windows.back();
  EXPECT_EQ(last.b, 1364);
  EXPECT_NEAR(last.wb, 0.7925, 1e-9);
  const auto bounds = area_average::WindowBounds(399, 400.0L / 1366.0L, 1366);
  EXPECT_NEAR(bounds.e, 1364.2925, 1e-9);
  // Factor 2 or less: the last window ends at the last pixel's centre, which weighs 0.5.
  const auto small = area_average::Windows(1366, 1024);
  EXPECT_EQ(small.back().b, 1365);
  EXPECT_EQ(small.back().wb, 0.5);
  // Every window of a running pass has a distinct first and last pixel and begins at pixel 0's centre.
  for (const auto& [from, to] :
       std::vector<std::pair<int, int>>{{1366, 400}, {1080, 300}, {768, 767}, {5, 1}}) {
    const auto ws = area_average::Windows(from, to);
    EXPECT_EQ(ws.front().a, 0);
    EXPECT_EQ(ws.front().wa, 0.5);
    for (const auto& w : ws) EXPECT_LT(w.a, w.b);
  }
}

TEST(ShrinkTo, UniformPictureStaysUniform) {
  std::mt19937 rng(7);
  for (const auto& [w, h, tw, th] : std::vector<std::array<int, 4>>{{1920, 1080, 400, 300},
                                                                    {1366, 768, 1024, 767},
                                                                    {37, 29, 5, 3},
                                                                    {1000, 3, 1, 1},
                                                                    {7, 600, 6, 599}}) {
    Bitmap24 bmp = UniformPicture(w, h, 12, 200, 255);
    TBMPUtil util;
    util.SetBitmap(bmp);
    util.ShrinkTo(tw, th);
    EXPECT_TRUE(SamePixels(bmp, UniformPicture(tw, th, 12, 200, 255)))
        << w << "x" << h << " -> " << tw << "x" << th;
  }
}

TEST(ShrinkTo, NotWiderLeavesEverythingAsIs) {
  std::mt19937 rng(1);
  const Bitmap24 original = RandomPicture(33, 20, rng);
  for (const auto& [tw, th] :
       std::vector<std::pair<int, int>>{{33, 10}, {40, 10}, {33, 20}, {34, 30}, {33, 1}}) {
    Bitmap24 bmp = original;
    TBMPUtil util;
    util.SetBitmap(bmp);
    util.ShrinkTo(tw, th);
    EXPECT_TRUE(SamePixels(bmp, original)) << tw << "x" << th;
    ExpectRowsMatch(util);
  }
}

TEST(ShrinkTo, WiderButNotHigherLeavesEverythingAsIs) {
  std::mt19937 rng(2);
  const Bitmap24 original = RandomPicture(1280, 720, rng);
  for (const int th : {720, 768, 1000}) {
    Bitmap24 bmp = original;
    TBMPUtil util;
    util.SetBitmap(bmp);
    util.ShrinkTo(1024, th);
    EXPECT_TRUE(SamePixels(bmp, original)) << th;
  }
}

TEST(ShrinkTo, TargetsBelowOnePixelChangeNothing) {
  std::mt19937 rng(3);
  const Bitmap24 original = RandomPicture(10, 10, rng);
  Bitmap24 bmp = original;
  TBMPUtil util;
  util.SetBitmap(bmp);
  util.ShrinkTo(0, 5);
  util.ShrinkTo(5, 0);
  util.ShrinkTo(-3, -3);
  EXPECT_TRUE(SamePixels(bmp, original));
}

TEST(ShrinkTo, ChannelsStaySeparate) {
  Bitmap24 bmp = PatternPicture(8, 8, [](int, int, int c) { return c == 0 ? 0 : c == 1 ? 128 : 255; });
  TBMPUtil util;
  util.SetBitmap(bmp);
  util.ShrinkTo(3, 3);
  EXPECT_TRUE(SamePixels(bmp, UniformPicture(3, 3, 0, 128, 255)));
}

TEST(ShrinkTo, WithoutBitmapDoesNothing) {
  TBMPUtil util;
  util.ShrinkTo(10, 10);
  util.RotateRight();
  util.Rotate180();
  util.RotateLeft();
  EXPECT_EQ(util.Bitmap(), nullptr);
  EXPECT_TRUE(util.Rows().empty());
}

// Rotations. Pixel (x, y) of the 3 x 2 test picture holds the bytes x, y, 10 * y + x.
Bitmap24 NumberedPicture(int w, int h) {
  return PatternPicture(w, h, [](int x, int y, int c) { return c == 0 ? x : c == 1 ? y : 10 * y + x; });
}
std::pair<int, int> Origin(const Bitmap24& bmp, int x, int y) {
  return {bmp.Pixel(x, y)[0], bmp.Pixel(x, y)[1]};
}

// Each turn of the 3 x 2 picture: the result's size, where each result pixel comes from, and the corner that
// ends up top-left.
TEST(Rotate, EachTurnMovesEveryPixel) {
  struct Turn {
    const char* name;
    void (TBMPUtil::*turn)();
    int width, height;
    std::pair<int, int> (*source)(int x, int y);  // old (x, y) of new pixel (x, y), W = 3, H = 2
    std::pair<int, int> topLeft;
  };
  const Turn turns[] = {
      {"right", &TBMPUtil::RotateRight, 2, 3, [](int x, int y) { return std::pair(y, 2 - 1 - x); }, {0, 1}},
      {"left", &TBMPUtil::RotateLeft, 2, 3, [](int x, int y) { return std::pair(3 - 1 - y, x); }, {2, 0}},
      {"half",
       &TBMPUtil::Rotate180,
       3,
       2,
       [](int x, int y) { return std::pair(3 - 1 - x, 2 - 1 - y); },
       {2, 1}},
  };
  for (const Turn& t : turns) {
    Bitmap24 bmp = NumberedPicture(3, 2);
    TBMPUtil util;
    util.SetBitmap(bmp);
    (util.*t.turn)();
    ASSERT_EQ(bmp.Width(), t.width) << t.name;
    ASSERT_EQ(bmp.Height(), t.height) << t.name;
    ExpectRowsMatch(util);
    for (int y = 0; y < t.height; ++y) {
      for (int x = 0; x < t.width; ++x)
        EXPECT_EQ(Origin(bmp, x, y), t.source(x, y)) << t.name << " " << x << "," << y;
    }
    // Right: the old bottom-left pixel; left: the old top-right one; half: the old bottom-right one.
    EXPECT_EQ(Origin(bmp, 0, 0), t.topLeft) << t.name;
  }
}

TEST(Rotate, OnePixelIsUnchanged) {
  Bitmap24 bmp = UniformPicture(1, 1, 1, 2, 3);
  TBMPUtil util;
  util.SetBitmap(bmp);
  util.RotateRight();
  EXPECT_TRUE(SamePixels(bmp, UniformPicture(1, 1, 1, 2, 3)));
  util.Rotate180();
  EXPECT_TRUE(SamePixels(bmp, UniformPicture(1, 1, 1, 2, 3)));
  util.RotateLeft();
  EXPECT_TRUE(SamePixels(bmp, UniformPicture(1, 1, 1, 2, 3)));
}

TEST(Rotate, RoundTripsRestoreThePicture) {
  std::mt19937 rng(11);
  // Sizes around the tile edge and with every row padding.
  for (const auto& [w, h] :
       std::vector<std::pair<int, int>>{{3, 2}, {1, 7}, {5, 1}, {65, 130}, {127, 66}, {200, 3}}) {
    const Bitmap24 original = RandomPicture(w, h, rng);
    Bitmap24 bmp = original;
    TBMPUtil util;
    util.SetBitmap(bmp);
    for (int k = 0; k < 4; ++k) util.RotateRight();
    EXPECT_TRUE(SamePixels(bmp, original)) << "four right turns " << w << "x" << h;
    util.RotateRight();
    util.RotateLeft();
    EXPECT_TRUE(SamePixels(bmp, original)) << "right then left " << w << "x" << h;
    util.Rotate180();
    util.Rotate180();
    EXPECT_TRUE(SamePixels(bmp, original)) << "two half turns " << w << "x" << h;
    util.RotateLeft();
    util.RotateLeft();
    Bitmap24 half = original;
    TBMPUtil other;
    other.SetBitmap(half);
    other.Rotate180();
    EXPECT_TRUE(SamePixels(bmp, half)) << "two left turns are a half turn " << w << "x" << h;
    ExpectRowsMatch(util);
  }
}

// Each turn against the plain per-pixel form, for sizes that are not multiples of the tiles, with and
// without row padding; the whole rows are compared, padding included (it stays zero).
TEST(Rotate, MatchesThePerPixelFormAtEverySize) {
  std::mt19937 rng(13);
  struct Turn {
    const char* name;
    void (TBMPUtil::*turn)();
    bool quarter;
    std::pair<int, int> (*source)(int x, int y, int w, int h);  // old (x, y) of new pixel (x, y)
  };
  const Turn turns[] = {
      {"right", &TBMPUtil::RotateRight, true,
       [](int x, int y, int, int h) { return std::pair(y, h - 1 - x); }},
      {"left", &TBMPUtil::RotateLeft, true, [](int x, int y, int w, int) { return std::pair(w - 1 - y, x); }},
      {"half", &TBMPUtil::Rotate180, false,
       [](int x, int y, int w, int h) { return std::pair(w - 1 - x, h - 1 - y); }},
  };
  for (const auto& [w, h] : std::vector<std::pair<int, int>>{{2, 1},
                                                             {1, 2},
                                                             {4, 3},
                                                             {17, 5},
                                                             {16, 257},
                                                             {257, 16},
                                                             {300, 37},
                                                             {37, 300},
                                                             {515, 33},
                                                             {33, 515}}) {
    const Bitmap24 original = RandomPicture(w, h, rng);
    for (const Turn& t : turns) {
      Bitmap24 expected(t.quarter ? h : w, t.quarter ? w : h);
      for (int y = 0; y < expected.Height(); ++y) {
        for (int x = 0; x < expected.Width(); ++x) {
          const auto [sx, sy] = t.source(x, y, w, h);
          for (int c = 0; c < 3; ++c) expected.Pixel(x, y)[c] = original.Pixel(sx, sy)[c];
        }
      }
      Bitmap24 bmp = original;
      TBMPUtil util;
      util.SetBitmap(bmp);
      (util.*t.turn)();
      ASSERT_EQ(bmp.Width(), expected.Width()) << t.name;
      ASSERT_EQ(bmp.Height(), expected.Height()) << t.name;
      bool same = true;
      for (int y = 0; y < bmp.Height(); ++y)
        same = same && std::equal(bmp.Row(y), bmp.Row(y) + bmp.Stride(), expected.Row(y));
      EXPECT_TRUE(same) << t.name << " " << w << "x" << h;
      ExpectRowsMatch(util);
    }
  }
}

}  // namespace
}  // namespace fernpad
