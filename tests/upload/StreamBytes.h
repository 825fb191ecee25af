#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "upload/UploadStream.h"

namespace fernpad::upload::test {

// Builds what a handheld sends.
class Wire {
 public:
  Wire& Int(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<std::uint8_t>(bits >> shift));
    return *this;
  }
  Wire& Raw(std::string_view raw) {
    bytes_.insert(bytes_.end(), raw.begin(), raw.end());
    return *this;
  }
  Wire& Str(std::string_view text) { return Int(static_cast<std::int32_t>(text.size())).Raw(text); }
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// A connection whose bytes are known in advance. A read beyond them fails and, like a closed socket, loses
// what was left.
class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  void ReadExactly(std::span<std::uint8_t> into) override {
    if (bytes_.size() - position_ < into.size()) {
      position_ = bytes_.size();
      throw StreamError("the connection ended");
    }
    std::memcpy(into.data(), bytes_.data() + position_, into.size());
    position_ += into.size();
  }
  std::size_t Left() const { return bytes_.size() - position_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

// Runs commands until the stream ends; gives how many were read whole.
inline int RunAll(UploadCommands& commands, MemorySource& source) {
  int done = 0;
  try {
    while (source.Left() > 0) {
      commands.IdTCPServer1Execute(source);
      ++done;
    }
  } catch (const StreamError&) {
  }
  return done;
}

inline std::string ReadAll(ContentReader& content) {
  std::string all;
  for (auto chunk = content.Next(); !chunk.empty(); chunk = content.Next())
    all.append(chunk.begin(), chunk.end());
  return all;
}

}  // namespace fernpad::upload::test
