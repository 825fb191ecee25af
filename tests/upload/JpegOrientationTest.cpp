#include "upload/JpegOrientation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "../settings/TestSupport.h"
#include "core/Bitmap24.h"
#include "imaging/Jpeg.h"

namespace fernpad::upload {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Entry {
  std::uint16_t tag;
  std::uint16_t type;
  std::uint16_t value;
};

// Integers in the byte order of the TIFF structure under construction.
class Tiff {
 public:
  explicit Tiff(bool little) : little_(little) {}
  void U16(Bytes& out, std::uint32_t v) const { Put(out, v, 2); }
  void U32(Bytes& out, std::uint32_t v) const { Put(out, v, 4); }

 private:
  void Put(Bytes& out, std::uint32_t v, int width) const {
    for (int i = 0; i < width; ++i) {
      const int shift = little_ ? 8 * i : 8 * (width - 1 - i);
      out.push_back(static_cast<std::uint8_t>(v >> shift));
    }
  }
  bool little_;
};

constexpr std::uint16_t kOrientation = 0x0112;
constexpr std::uint16_t kShort = 3;
constexpr std::uint32_t kFirst = 8;  // right after the TIFF header

// An APP1 payload "Exif\0\0" + TIFF: the directories one after the other, each pointing to the next
// (`lastNext` for the last). `firstOffset` overrides where the header says the first directory is.
Bytes Exif(bool little, const std::vector<std::vector<Entry>>& directories, std::uint32_t lastNext = 0,
           std::uint32_t firstOffset = kFirst) {
  const Tiff t(little);
  Bytes out{'E', 'x', 'i', 'f', 0, 0};
  out.push_back(little ? 'I' : 'M');
  out.push_back(little ? 'I' : 'M');
  t.U16(out, 42);
  t.U32(out, firstOffset);
  std::uint32_t at = kFirst;
  for (std::size_t d = 0; d < directories.size(); ++d) {
    const auto& entries = directories[d];
    at += 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
    t.U16(out, static_cast<std::uint32_t>(entries.size()));
    for (const Entry& e : entries) {
      t.U16(out, e.tag);
      t.U16(out, e.type);
      t.U32(out, 1);
      t.U16(out, e.value);
      t.U16(out, 0);
    }
    t.U32(out, d + 1 < directories.size() ? at : lastNext);
  }
  return out;
}

Bytes Segment(std::uint8_t marker, const Bytes& payload, int lengthOverride = -1) {
  const int length = lengthOverride >= 0 ? lengthOverride : static_cast<int>(payload.size()) + 2;
  Bytes out(4 + payload.size());
  out[0] = 0xFF;
  out[1] = marker;
  out[2] = static_cast<std::uint8_t>(length >> 8);
  out[3] = static_cast<std::uint8_t>(length);
  std::copy(payload.begin(), payload.end(), out.begin() + 4);
  return out;
}

// A real JPEG from the encoder (SOI, then its JFIF APP0) with `segments` spliced in after the SOI, or
// after the APP0 when `afterApp0`.
Bytes Photo(const std::vector<Bytes>& segments, bool afterApp0 = false) {
  const std::string encoded = EncodeJpeg(Bitmap24(16, 8), 90);
  Bytes jpeg(encoded.begin(), encoded.end());
  std::size_t at = 2;
  if (afterApp0) at += 2 + ((std::size_t{jpeg[4]} << 8) | jpeg[5]);
  for (auto it = segments.rbegin(); it != segments.rend(); ++it)
    jpeg.insert(jpeg.begin() + at, it->begin(), it->end());
  return jpeg;
}

Bytes App1(const Bytes& payload) {
  return Segment(0xE1, payload);
}

struct OrientationCase {
  const char* what;
  Bytes jpeg;
  int expected;
};

std::vector<OrientationCase> Cases() {
  const Entry six{kOrientation, kShort, 6};
  const Entry other{0x010F, 2, 1};
  const Bytes turned = App1(Exif(false, {{other, six}}));
  Bytes cutShort = Photo({turned});
  cutShort.resize(30);
  return {
      {"big-endian", Photo({turned}), 6},
      {"little-endian", Photo({App1(Exif(true, {{other, six}}))}), 6},
      {"upside down", Photo({App1(Exif(true, {{{kOrientation, kShort, 3}}}))}), 3},
      {"turned left", Photo({App1(Exif(false, {{{kOrientation, kShort, 8}}}))}), 8},
      {"no EXIF", Photo({}), 0},
      {"type LONG is not the orientation", Photo({App1(Exif(true, {{{kOrientation, 4, 6}}}))}), 0},
      {"second directory", Photo({App1(Exif(false, {{other}, {six}}))}), 6},
      {"APP0 first", Photo({turned}, true), 6},
      {"other APPn before", Photo({Segment(0xE2, Bytes(20, 'x')), turned}), 6},
      {"non-EXIF APP1 before", Photo({App1(Bytes(12, 'y')), turned}), 6},
      {"APPn below 10 bytes ends the search", Photo({Segment(0xE2, Bytes(6, 0)), turned}), 0},
      {"directory chain loops", Photo({App1(Exif(true, {{other}, {other}}, kFirst))}), 0},
      {"directory points at itself", Photo({App1(Exif(false, {{other}}, kFirst))}), 0},
      {"first directory beyond the segment", Photo({App1(Exif(true, {{six}}, 0, 4000))}), 0},
      {"damaged block ends the search", Photo({App1(Exif(true, {{six}}, 0, 4000)), turned}), 0},
      {"next directory beyond the segment", Photo({App1(Exif(false, {{other}}, 0xFFFFFFF0))}), 0},
      {"entry table beyond the segment",
       Photo({App1(Bytes{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 50, 0})}), 0},
      {"segment runs past the end", cutShort, 0},
      {"length field below 2", Photo({Segment(0xC4, {}, 0), turned}), 0},
      {"EXIF after the scan is not reached",
       [&] {
         Bytes jpeg = Photo({});
         const Bytes late = turned;
         jpeg.insert(jpeg.end() - 2, late.begin(), late.end());
         return jpeg;
       }(),
       0},
      {"empty", {}, 0},
  };
}

TEST(ReadJpegOrientation, FindsTheOrientationTagOrGivesZero) {
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ReadJpegOrientation(std::span<const std::uint8_t>(c.jpeg)), c.expected);
  }
}

TEST(ReadJpegOrientation, FileGivesWhatItsBytesGive) {
  settings::testing::TempDir folder;
  for (const auto& c : Cases()) {
    SCOPED_TRACE(c.what);
    const auto path = folder / "photo.jpg";
    settings::testing::WriteBytes(path, c.jpeg);
    EXPECT_EQ(ReadJpegOrientation(path), c.expected);
  }
  EXPECT_EQ(ReadJpegOrientation(folder / "missing.jpg"), 0);
}

}  // namespace
}  // namespace fernpad::upload
