#include "imaging/Jpeg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "JpegInspect.h"
#include "TestPictures.h"

namespace fernpad {
namespace {

using test::InspectJpeg;

// 16 x 16 blocks of flat colours, aligned to the 4:2:0 macroblocks, so that the codec's loss stays small.
Bitmap24 Blocks(int width, int height) {
  return test::PatternPicture(width, height, [](int x, int y, int c) {
    const int block = (x / 16) * 7 + (y / 16) * 13;
    return (block * (37 + 50 * c) + 20 * c) % 256;
  });
}

// Encodes raw samples with libjpeg itself (for colour spaces EncodeJpeg does not write).
std::string EncodeRaw(int width, int height, int components, J_COLOR_SPACE space,
                      const std::vector<unsigned char>& samples) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = space;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 95, TRUE);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<unsigned char*>(samples.data()) + cinfo.next_scanline * width * components;
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::string out(reinterpret_cast<char*>(buffer), size);
  std::free(buffer);
  return out;
}

// Decodes with libjpeg itself into RGB, independent of DecodeJpeg.
std::vector<unsigned char> DecodeRgb(const std::string& file, int& width, int& height) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(file.data()), file.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  width = cinfo.output_width;
  height = cinfo.output_height;
  std::vector<unsigned char> rgb(static_cast<size_t>(width) * height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = rgb.data() + cinfo.output_scanline * width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return rgb;
}

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

TEST(EncodeJpeg, QuantisationFollowsTheQuality) {
  for (const int quality : {50, 80, 90, 95}) {
    const auto h = InspectJpeg(EncodeJpeg(Blocks(64, 64), quality));
    ASSERT_TRUE(h.quantTables[0] && h.quantTables[1]) << quality;
    EXPECT_EQ(h.quantPrecision[0], 0);
    EXPECT_EQ(*h.quantTables[0], test::ScaledQuant(test::kStandardLuminanceQuant, quality)) << quality;
    EXPECT_EQ(*h.quantTables[1], test::ScaledQuant(test::kStandardChrominanceQuant, quality)) << quality;
  }
  // Out-of-range qualities are clamped; a low quality stays baseline (8-bit tables).
  const auto low = InspectJpeg(EncodeJpeg(Blocks(16, 16), 0));
  EXPECT_EQ(*low.quantTables[0], test::ScaledQuant(test::kStandardLuminanceQuant, 1));
  EXPECT_EQ(low.sofMarker, 0xC0);
  const auto high = InspectJpeg(EncodeJpeg(Blocks(16, 16), 150));
  EXPECT_EQ(*high.quantTables[0], test::ScaledQuant(test::kStandardLuminanceQuant, 100));
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

TEST(EncodeJpeg, ReadsTheBitmapAsBlueGreenRed) {
  const std::string file = EncodeJpeg(test::UniformPicture(32, 32, /*b*/ 0, /*g*/ 0, /*r*/ 255), 90);
  int w = 0, h = 0;
  const auto rgb = DecodeRgb(file, w, h);
  ASSERT_EQ(w, 32);
  EXPECT_NEAR(rgb[0], 254, 3);  // red
  EXPECT_NEAR(rgb[1], 0, 3);
  EXPECT_NEAR(rgb[2], 0, 3);
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

TEST(DecodeJpeg, GreyscaleBecomesThreeEqualChannels) {
  std::vector<unsigned char> grey(64 * 32);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = static_cast<unsigned char>(i % 64 < 32 ? 40 : 200);
  const Bitmap24 picture = DecodeJpeg(EncodeRaw(64, 32, 1, JCS_GRAYSCALE, grey));
  ASSERT_EQ(picture.Width(), 64);
  for (int c = 0; c < 3; ++c) {
    EXPECT_NEAR(picture.Pixel(10, 10)[c], 40, 3);
    EXPECT_NEAR(picture.Pixel(50, 10)[c], 200, 3);
  }
}

TEST(DecodeJpeg, CmykIsConvertedToBlueGreenRed) {
  // libjpeg writes CMYK with Adobe's marker; the samples are stored as given (inverted: 255 = no ink).
  std::vector<unsigned char> cmyk;
  for (int i = 0; i < 32 * 16; ++i) {
    const bool left = i % 32 < 16;
    // Left: no cyan, full magenta and yellow, no black (red). Right: everything empty (white).
    const unsigned char px[4] = {255, static_cast<unsigned char>(left ? 0 : 255),
                                 static_cast<unsigned char>(left ? 0 : 255), 255};
    cmyk.insert(cmyk.end(), px, px + 4);
  }
  const Bitmap24 picture = DecodeJpeg(EncodeRaw(32, 16, 4, JCS_CMYK, cmyk));
  ASSERT_EQ(picture.Width(), 32);
  EXPECT_NEAR(picture.Pixel(4, 8)[0], 0, 4);    // blue
  EXPECT_NEAR(picture.Pixel(4, 8)[1], 0, 4);    // green
  EXPECT_NEAR(picture.Pixel(4, 8)[2], 255, 4);  // red
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(picture.Pixel(28, 8)[c], 255, 4);
}

}  // namespace
}  // namespace fernpad
