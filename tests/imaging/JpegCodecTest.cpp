// What the JPEG codec promises whichever library is under it (libjpeg, or Windows' own).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "JpegInspect.h"
#include "TestPictures.h"
#include "imaging/Jpeg.h"

namespace fernpad {
namespace {

using test::Blocks;
using test::InspectJpeg;

TEST(EncodeJpeg, WritesABaselineJfifFileWith420Sampling) {
  const std::string file = EncodeJpeg(Blocks(400, 300), 80);
  const auto h = InspectJpeg(file);
  EXPECT_TRUE(h.soi);
  EXPECT_EQ(file.substr(0, 3), std::string("\xFF\xD8\xFF"));
  EXPECT_TRUE(h.jfif);
  EXPECT_TRUE(h.eoi);
  EXPECT_EQ(h.sofMarker, 0xC0);  // baseline sequential
  EXPECT_EQ(h.precision, 8);
  EXPECT_EQ(h.width, 400);
  EXPECT_EQ(h.height, 300);
  ASSERT_EQ(h.components.size(), 3u);
  EXPECT_EQ(h.components[0].h, 2);
  EXPECT_EQ(h.components[0].v, 2);
  for (int c = 1; c < 3; ++c) {
    EXPECT_EQ(h.components[c].h, 1);
    EXPECT_EQ(h.components[c].v, 1);
  }
}

TEST(EncodeJpeg, UsesTheStandardHuffmanTables) {
  const auto h = InspectJpeg(EncodeJpeg(Blocks(128, 64), 80));
  ASSERT_EQ(h.huffmanTables.size(), 4u);
  for (const auto& t : h.huffmanTables) {
    const bool luminance = t.id == 0;
    if (t.tableClass == 0) {
      EXPECT_EQ(t.counts, luminance ? test::kDcLuminanceCounts : test::kDcChrominanceCounts);
      EXPECT_EQ(t.values, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
    } else {
      EXPECT_EQ(t.counts, luminance ? test::kAcLuminanceCounts : test::kAcChrominanceCounts);
      ASSERT_EQ(t.values.size(), 162u);
      EXPECT_EQ(std::vector<int>(t.values.begin(), t.values.begin() + 5),
                luminance ? (std::vector<int>{0x01, 0x02, 0x03, 0x00, 0x04})
                          : (std::vector<int>{0x00, 0x01, 0x02, 0x03, 0x11}));
    }
  }
}

TEST(EncodeJpeg, RefusesAnEmptyPicture) {
  EXPECT_THROW(EncodeJpeg(Bitmap24(), 80), JpegError);
  EXPECT_THROW(EncodeJpeg(Bitmap24(0, 10), 80), JpegError);
}

TEST(EncodeJpeg, TooLargeForJpegThrowsWithoutLeaking) {
  EXPECT_THROW(EncodeJpeg(Bitmap24(70000, 1), 80), JpegError);
}

TEST(Jpeg, RoundTripKeepsSizeAndColours) {
  for (const auto& [w, hgt] :
       std::vector<std::pair<int, int>>{{1, 1}, {17, 9}, {400, 300}, {401, 301}, {1024, 768}}) {
    const Bitmap24 picture = Blocks(w, hgt);
    const Bitmap24 back = DecodeJpeg(EncodeJpeg(picture, 90));
    ASSERT_EQ(back.Width(), w);
    ASSERT_EQ(back.Height(), hgt);
    int worst = 0;
    for (int y = 0; y < hgt; ++y) {
      for (int x = 0; x < w; ++x) {
        // Within a block, away from its edges where the blocks' colours meet.
        if (w > 16 && (x % 16 < 3 || x % 16 > 12 || y % 16 < 3 || y % 16 > 12)) continue;
        for (int c = 0; c < 3; ++c)
          worst = std::max(worst, std::abs(back.Pixel(x, y)[c] - picture.Pixel(x, y)[c]));
      }
    }
    EXPECT_LE(worst, 8) << w << "x" << hgt;
  }
}

TEST(DecodeJpeg, RefusesWhatIsNotAJpegFile) {
  EXPECT_THROW(DecodeJpeg(""), JpegError);
  EXPECT_THROW(DecodeJpeg("not a jpeg at all"), JpegError);
  EXPECT_THROW(DecodeJpeg(std::string("\xFF\xD8", 2)), JpegError);
  const std::string file = EncodeJpeg(Blocks(64, 64), 80);
  EXPECT_THROW(DecodeJpeg(file.substr(0, 40)), JpegError);  // ends inside the header
  std::string broken = file;
  const size_t sof = broken.find("\xFF\xC0");
  ASSERT_NE(sof, std::string::npos);
  broken[sof + 4] = 12;  // 12-bit samples: not a baseline file this decoder takes
  EXPECT_THROW(DecodeJpeg(broken), JpegError);
  for (int n = 0; n < 50; ++n) {  // failures in a loop: nothing may leak (checked under ASan)
    EXPECT_THROW(DecodeJpeg(file.substr(0, 100)), JpegError);
  }
}

TEST(DecodeJpeg, ATruncatedScanStillGivesThePicture) {
  const std::string file = EncodeJpeg(Blocks(256, 256), 80);
  const Bitmap24 picture = DecodeJpeg(file.substr(0, file.size() / 2));
  EXPECT_EQ(picture.Width(), 256);
  EXPECT_EQ(picture.Height(), 256);
}

TEST(DecodeJpeg, RefusesPicturesAboveTheLimit) {
  const std::string file = EncodeJpeg(Blocks(100, 100), 80);
  EXPECT_THROW(DecodeJpeg(file, 9999), JpegError);
  EXPECT_EQ(DecodeJpeg(file, 10000).Width(), 100);
}

}  // namespace
}  // namespace fernpad
