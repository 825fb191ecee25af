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

using test::Blocks;
using test::InspectJpeg;

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

TEST(EncodeJpeg, ReadsTheBitmapAsBlueGreenRed) {
  const std::string file = EncodeJpeg(test::UniformPicture(32, 32, /*b*/ 0, /*g*/ 0, /*r*/ 255), 90);
  int w = 0, h = 0;
  const auto rgb = DecodeRgb(file, w, h);
  ASSERT_EQ(w, 32);
  EXPECT_NEAR(rgb[0], 254, 3);  // red
  EXPECT_NEAR(rgb[1], 0, 3);
  EXPECT_NEAR(rgb[2], 0, 3);
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
