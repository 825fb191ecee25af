#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Reads the markers of a JPEG file's header, for checking what the encoder wrote.
namespace fernpad::test {

struct JpegComponent {
  int id = 0;
  int h = 0;  // sampling factors
  int v = 0;
  int quantTable = 0;
};

struct JpegHuffmanTable {
  int tableClass = 0;  // 0 DC, 1 AC
  int id = 0;
  std::array<int, 16> counts{};
  std::vector<int> values;
};

struct JpegHeader {
  bool soi = false;
  bool eoi = false;
  bool jfif = false;
  int sofMarker = 0;  // 0xC0 baseline, 0xC1 extended, 0xC2 progressive ...
  int precision = 0;
  int width = 0;
  int height = 0;
  std::vector<JpegComponent> components;
  std::array<std::optional<std::array<int, 64>>, 4> quantTables;  // in zigzag order, as stored
  std::array<int, 4> quantPrecision{};                            // 0: 8-bit values
  std::vector<JpegHuffmanTable> huffmanTables;
};

inline JpegHeader InspectJpeg(const std::string& file) {
  JpegHeader h;
  auto byte = [&](std::size_t i) { return i < file.size() ? static_cast<std::uint8_t>(file[i]) : 0; };
  h.soi = byte(0) == 0xFF && byte(1) == 0xD8;
  h.eoi = file.size() >= 2 && byte(file.size() - 2) == 0xFF && byte(file.size() - 1) == 0xD9;
  std::size_t pos = 2;
  while (pos + 4 <= file.size() && byte(pos) == 0xFF) {
    const int marker = byte(pos + 1);
    const std::size_t length = static_cast<std::size_t>(byte(pos + 2) << 8 | byte(pos + 3));
    const std::size_t seg = pos + 4;  // segment data after the length
    const std::size_t end = pos + 2 + length;
    if (marker == 0xE0 && file.compare(seg, 5, std::string("JFIF\0", 5)) == 0) h.jfif = true;
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      h.sofMarker = marker;
      h.precision = byte(seg);
      h.height = byte(seg + 1) << 8 | byte(seg + 2);
      h.width = byte(seg + 3) << 8 | byte(seg + 4);
      const int n = byte(seg + 5);
      for (int c = 0; c < n; ++c) {
        const std::size_t p = seg + 6 + 3 * static_cast<std::size_t>(c);
        h.components.push_back({byte(p), byte(p + 1) >> 4, byte(p + 1) & 15, byte(p + 2)});
      }
    }
    if (marker == 0xDB) {
      for (std::size_t p = seg; p < end;) {
        const int precision = byte(p) >> 4;
        const int id = byte(p) & 15;
        std::array<int, 64> values{};
        for (int k = 0; k < 64; ++k) {
          values[k] = precision ? (byte(p + 1 + 2 * k) << 8 | byte(p + 2 + 2 * k)) : byte(p + 1 + k);
        }
        if (id < 4) {
          h.quantTables[id] = values;
          h.quantPrecision[id] = precision;
        }
        p += 1 + (precision ? 128 : 64);
      }
    }
    if (marker == 0xC4) {
      for (std::size_t p = seg; p < end;) {
        JpegHuffmanTable t;
        t.tableClass = byte(p) >> 4;
        t.id = byte(p) & 15;
        int total = 0;
        for (int k = 0; k < 16; ++k) total += t.counts[k] = byte(p + 1 + k);
        for (int k = 0; k < total; ++k) t.values.push_back(byte(p + 17 + k));
        h.huffmanTables.push_back(t);
        p += 17 + static_cast<std::size_t>(total);
      }
    }
    if (marker == 0xDA) break;  // the scan follows
    pos = end;
  }
  return h;
}

// The example tables of the JPEG standard (ITU-T T.81 Annex K), natural order.
inline constexpr std::array<int, 64> kStandardLuminanceQuant = {
    16, 11,  10,  16, 24, 40, 51, 61, 12,  12,  14,  19,  26, 58, 60, 55,  14,  13,  16,  24, 40, 57,
    69, 56,  14,  17, 22, 29, 51, 87, 80,  62,  18,  22,  37, 56, 68, 109, 103, 77,  24,  35, 55, 64,
    81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98,  112, 100, 103, 99};
inline constexpr std::array<int, 64> kStandardChrominanceQuant = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};
// Natural-order index of the k-th coefficient in zigzag order.
inline constexpr std::array<int, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// A standard table scaled for a quality as the IJG library does, limited to baseline values, in zigzag order.
inline std::array<int, 64> ScaledQuant(const std::array<int, 64>& natural, int quality) {
  const int scale = quality < 50 ? 5000 / quality : 200 - quality * 2;
  std::array<int, 64> out{};
  for (int k = 0; k < 64; ++k) {
    int v = (natural[kZigzag[k]] * scale + 50) / 100;
    if (v <= 0) v = 1;
    if (v > 255) v = 255;
    out[k] = v;
  }
  return out;
}

// Code counts of the standard Huffman tables (T.81 K.3).
inline constexpr std::array<int, 16> kDcLuminanceCounts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
inline constexpr std::array<int, 16> kDcChrominanceCounts = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
inline constexpr std::array<int, 16> kAcLuminanceCounts = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
inline constexpr std::array<int, 16> kAcChrominanceCounts = {0, 2, 1, 2, 4, 4, 3, 4,
                                                             7, 5, 4, 4, 0, 1, 2, 0x77};

}  // namespace fernpad::test
