#include "upload/JpegOrientation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <optional>
#include <vector>

namespace fernpad::upload {
namespace {

constexpr std::uint16_t kStartOfScan = 0xFFDA;
constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::size_t kEntrySize = 12;
constexpr std::array<std::uint8_t, 6> kExifId{'E', 'x', 'i', 'f', 0, 0};

// What the search of one EXIF block found.
struct TiffResult {
  enum class Kind { NoValue, Value, Damaged } kind = Kind::NoValue;
  int value = 0;
};

// Bounded reads of the TIFF structure inside one segment's payload; every read says whether it fitted.
class TiffView {
 public:
  TiffView(std::span<const std::uint8_t> payload, bool littleEndian)
      : bytes_(payload), little_(littleEndian) {}

  std::optional<std::uint32_t> U16(std::size_t at) const { return Read(at, 2); }
  std::optional<std::uint32_t> U32(std::size_t at) const { return Read(at, 4); }

 private:
  std::optional<std::uint32_t> Read(std::size_t at, std::size_t width) const {
    if (at > bytes_.size() || bytes_.size() - at < width) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      const std::uint32_t byte = bytes_[at + (little_ ? width - 1 - i : i)];
      value = (value << 8) | byte;
    }
    return value;
  }

  std::span<const std::uint8_t> bytes_;
  bool little_;
};

// Searches the directory chain of the TIFF structure at payload[6]. Offsets count from there.
TiffResult SearchTiff(std::span<const std::uint8_t> payload) {
  constexpr std::size_t kBase = kExifId.size();
  const bool little = payload.size() >= kBase + 2 && payload[kBase] == 'I' && payload[kBase + 1] == 'I';
  const TiffView tiff(payload, little);
  const TiffResult damaged{TiffResult::Kind::Damaged};

  auto offset = tiff.U32(kBase + 4);
  if (!offset) return damaged;
  std::vector<std::uint32_t> searched;
  while (*offset != 0) {
    // A chain that comes back to a directory already searched would never end.
    if (std::find(searched.begin(), searched.end(), *offset) != searched.end()) return damaged;
    searched.push_back(*offset);
    const std::size_t directory = kBase + std::size_t{*offset};
    const auto count = tiff.U16(directory);
    if (!count) return damaged;
    for (std::size_t k = 0; k < *count; ++k) {
      const std::size_t entry = directory + 2 + kEntrySize * k;
      const auto tag = tiff.U16(entry);
      const auto type = tiff.U16(entry + 2);
      if (!tag || !type) return damaged;
      if (*tag == kOrientationTag && *type == kTypeShort) {
        const auto value = tiff.U16(entry + 8);
        if (!value) return damaged;
        return {TiffResult::Kind::Value, static_cast<int>(*value)};
      }
    }
    offset = tiff.U32(directory + 2 + kEntrySize * std::size_t{*count});
    if (!offset) return damaged;
  }
  return {};
}

// The bytes of a whole JPEG in memory.
class SpanSource {
 public:
  explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t Size() const { return bytes_.size(); }
  std::uint64_t Position() const { return position_; }
  bool Read(std::span<std::uint8_t> into) {
    if (position_ > bytes_.size() || bytes_.size() - position_ < into.size()) return false;
    std::memcpy(into.data(), bytes_.data() + position_, into.size());
    position_ += into.size();
    return true;
  }
  void Skip(std::uint64_t count) { position_ += count; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::uint64_t position_ = 0;
};

// A JPEG file, read a segment header or payload at a time.
class FileSource {
 public:
  explicit FileSource(const std::filesystem::path& path) : in_(path, std::ios::binary) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    size_ = ec ? 0 : size;
  }
  std::uint64_t Size() const { return size_; }
  std::uint64_t Position() const { return position_; }
  bool Read(std::span<std::uint8_t> into) {
    if (position_ > size_ || size_ - position_ < into.size()) return false;
    in_.seekg(static_cast<std::streamoff>(position_));
    if (!in_.read(reinterpret_cast<char*>(into.data()), static_cast<std::streamsize>(into.size())))
      return false;
    position_ += into.size();
    return true;
  }
  void Skip(std::uint64_t count) { position_ += count; }

 private:
  std::ifstream in_;
  std::uint64_t size_ = 0;
  std::uint64_t position_ = 0;
};

template <class Source>
int WalkSegments(Source& source) {
  std::array<std::uint8_t, 2> start{};
  if (!source.Read(start)) return 0;  // the start-of-image marker; its value is not checked
  std::vector<std::uint8_t> payload;
  while (source.Position() < source.Size()) {
    std::array<std::uint8_t, 4> header{};
    if (!source.Read(header)) return 0;
    const unsigned marker = (unsigned{header[0]} << 8) | header[1];
    const unsigned length = (unsigned{header[2]} << 8) | header[3];
    if (marker == kStartOfScan) return 0;
    // A length below 2 would step back onto bytes already read, for ever.
    if (length < 2) return 0;
    // APPn segments are told by the third hexadecimal digit of the marker alone.
    if (((marker >> 4) & 0xF) != 0xE) {
      source.Skip(length - 2);
      continue;
    }
    if (length < 10) return 0;
    payload.resize(length - 2);
    if (!source.Read(payload)) return 0;
    if (!std::equal(kExifId.begin(), kExifId.end(), payload.begin())) continue;
    const TiffResult found = SearchTiff(payload);
    if (found.kind == TiffResult::Kind::Value) return found.value;
    if (found.kind == TiffResult::Kind::Damaged) return 0;
  }
  return 0;
}

}  // namespace

int ReadJpegOrientation(std::span<const std::uint8_t> jpeg) {
  SpanSource source(jpeg);
  return WalkSegments(source);
}

int ReadJpegOrientation(const std::filesystem::path& path) {
  try {
    FileSource source(path);
    return WalkSegments(source);
  } catch (const std::exception&) {
    return 0;  // a file that cannot be read is shown as received
  }
}

}  // namespace fernpad::upload
