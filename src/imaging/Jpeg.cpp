#include "imaging/Jpeg.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

// Errors: libjpeg requires error_exit never to return. Instead of the usual setjmp/longjmp, which would skip
// destructors, ours throws JpegError. The library is plain C built with unwind tables, so the exception
// passes through its frames; whatever it had allocated belongs to the object's memory pools, which the
// guards' jpeg_destroy_* calls release on every way out.
namespace fernpad {
namespace {

[[noreturn]] void ThrowJpegError(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX] = {};
  (*cinfo->err->format_message)(cinfo, message);
  throw JpegError(std::string("JPEG: ") + message);
}

void IgnoreMessage(j_common_ptr) {}  // warnings are counted, never printed

void SetUpErrors(jpeg_error_mgr& errors) {
  jpeg_std_error(&errors);
  errors.error_exit = ThrowJpegError;
  errors.output_message = IgnoreMessage;
}

// A destination that grows a std::string.
struct StringDestination {
  jpeg_destination_mgr pub{};
  std::string* out = nullptr;
  static constexpr std::size_t kFirstSize = 64 * 1024;

  static StringDestination& Of(j_compress_ptr cinfo) {
    return *reinterpret_cast<StringDestination*>(cinfo->dest);
  }

  static void Init(j_compress_ptr cinfo) {
    StringDestination& d = Of(cinfo);
    d.out->resize(kFirstSize);
    d.pub.next_output_byte = reinterpret_cast<JOCTET*>(d.out->data());
    d.pub.free_in_buffer = d.out->size();
  }
  // Called with the whole buffer full.
  static boolean Grow(j_compress_ptr cinfo) {
    StringDestination& d = Of(cinfo);
    const std::size_t used = d.out->size();
    d.out->resize(used * 2);
    d.pub.next_output_byte = reinterpret_cast<JOCTET*>(d.out->data()) + used;
    d.pub.free_in_buffer = d.out->size() - used;
    return TRUE;
  }
  static void Term(j_compress_ptr cinfo) {
    StringDestination& d = Of(cinfo);
    d.out->resize(d.out->size() - d.pub.free_in_buffer);
  }
};

struct CompressGuard {
  jpeg_compress_struct* cinfo;
  ~CompressGuard() { jpeg_destroy_compress(cinfo); }
};
struct DecompressGuard {
  jpeg_decompress_struct* cinfo;
  ~DecompressGuard() { jpeg_destroy_decompress(cinfo); }
};

constexpr int kRowsPerCall = 16;

std::uint8_t Scale255(unsigned a, unsigned b) {
  return static_cast<std::uint8_t>((a * b + 127) / 255);
}

}  // namespace

std::string EncodeJpeg(const Bitmap24& picture, int quality) {
  if (picture.Empty()) throw JpegError("JPEG: cannot encode an empty picture");

  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  SetUpErrors(errors);
  cinfo.err = &errors;
  CompressGuard guard{&cinfo};
  jpeg_create_compress(&cinfo);

  std::string out;
  StringDestination destination;
  destination.out = &out;
  destination.pub.init_destination = StringDestination::Init;
  destination.pub.empty_output_buffer = StringDestination::Grow;
  destination.pub.term_destination = StringDestination::Term;
  cinfo.dest = &destination.pub;

  cinfo.image_width = static_cast<JDIMENSION>(picture.Width());
  cinfo.image_height = static_cast<JDIMENSION>(picture.Height());
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);  // JFIF, YCbCr 4:2:0, standard Huffman tables, sequential
  jpeg_set_quality(&cinfo, std::clamp(quality, 1, 100), TRUE /* baseline-compatible tables */);
  jpeg_start_compress(&cinfo, TRUE);

  JSAMPROW rows[kRowsPerCall];
  while (cinfo.next_scanline < cinfo.image_height) {
    const int first = static_cast<int>(cinfo.next_scanline);
    const int count = std::min(kRowsPerCall, picture.Height() - first);
    for (int k = 0; k < count; ++k) rows[k] = const_cast<JSAMPROW>(picture.Row(first + k));
    jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
  }
  jpeg_finish_compress(&cinfo);
  return out;
}

Bitmap24 DecodeJpeg(std::string_view data, std::uint64_t maxPixels) {
  if (data.empty()) throw JpegError("JPEG: no data");

  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr errors{};
  SetUpErrors(errors);
  cinfo.err = &errors;
  DecompressGuard guard{&cinfo};
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.data()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);

  if (static_cast<std::uint64_t>(cinfo.image_width) * cinfo.image_height > maxPixels) {
    throw JpegError("JPEG: picture too large");
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  jpeg_start_decompress(&cinfo);

  Bitmap24 picture(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height));
  if (!cmyk) {
    JSAMPROW rows[kRowsPerCall];
    while (cinfo.output_scanline < cinfo.output_height) {
      const int first = static_cast<int>(cinfo.output_scanline);
      const int count = std::min(kRowsPerCall, picture.Height() - first);
      for (int k = 0; k < count; ++k) rows[k] = picture.Row(first + k);
      jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
    }
  } else {
    // Adobe's CMYK files store the inks inverted (255 = no ink); others store them plainly.
    const bool inverted = cinfo.saw_Adobe_marker;
    std::vector<std::uint8_t> line(4 * static_cast<std::size_t>(picture.Width()));
    while (cinfo.output_scanline < cinfo.output_height) {
      const int y = static_cast<int>(cinfo.output_scanline);
      JSAMPROW row = line.data();
      jpeg_read_scanlines(&cinfo, &row, 1);
      std::uint8_t* out = picture.Row(y);
      for (std::size_t x = 0; x < static_cast<std::size_t>(picture.Width()); ++x, out += 3) {
        unsigned ink[4];
        for (int c = 0; c < 4; ++c) ink[c] = inverted ? line[4 * x + c] : 255u - line[4 * x + c];
        out[0] = Scale255(ink[2], ink[3]);  // blue from yellow
        out[1] = Scale255(ink[1], ink[3]);  // green from magenta
        out[2] = Scale255(ink[0], ink[3]);  // red from cyan
      }
    }
  }
  jpeg_finish_decompress(&cinfo);
  return picture;
}

}  // namespace fernpad
