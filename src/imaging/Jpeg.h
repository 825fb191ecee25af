#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "core/Bitmap24.h"

namespace fernpad {

// A failure reported by the JPEG library (bad data, unsupported file, no memory inside the library).
class JpegError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Encodes the picture as a baseline JFIF file: three components (YCbCr, the luminance sampled 2x2, so 4:2:0),
// the standard Huffman tables, no Huffman optimisation, quantisation tables scaled for `quality` (clamped to
// 1..100) and limited to baseline values. The bitmap's own blue-green-red rows are fed to the library as they
// are. Throws JpegError for an empty picture or one larger than 65500 pixels on a side, std::bad_alloc when
// memory runs out; nothing leaks either way.
std::string EncodeJpeg(const Bitmap24& picture, int quality);

// Pictures larger than this (width x height) are refused by DecodeJpeg unless the caller allows more.
inline constexpr std::uint64_t kMaxDecodedPixels = std::uint64_t{1} << 28;

// Decodes a JPEG file (baseline or progressive; greyscale, YCbCr, RGB, CMYK or YCCK) into a 24-bit picture
// of the file's size. Recoverable damage the library only warns about (a truncated end, stray bytes before a
// marker) still gives a picture, as viewers do. Throws JpegError for data that cannot be decoded or a
// picture of more than maxPixels pixels.
Bitmap24 DecodeJpeg(std::string_view data, std::uint64_t maxPixels = kMaxDecodedPixels);

}  // namespace fernpad
