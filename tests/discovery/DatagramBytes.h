#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace fernpad::discovery::test {

// Builds a datagram the way the handheld does: a code byte, then fields in wire order.
class DatagramBytes {
 public:
  explicit DatagramBytes(std::uint8_t code) { bytes_.push_back(code); }

  DatagramBytes& Byte(std::uint8_t b) {
    bytes_.push_back(b);
    return *this;
  }
  // An IEEE single, little-endian, whatever the host's byte order.
  DatagramBytes& Float(float f) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<std::uint8_t>(bits >> shift));
    return *this;
  }
  // Key text: the count byte, then the characters.
  DatagramBytes& Text(std::string_view characters) {
    bytes_.push_back(static_cast<std::uint8_t>(characters.size()));
    for (char c : characters) bytes_.push_back(static_cast<std::uint8_t>(c));
    return *this;
  }
  DatagramBytes& Raw(std::string_view characters) {
    for (char c : characters) bytes_.push_back(static_cast<std::uint8_t>(c));
    return *this;
  }

  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  operator const std::vector<std::uint8_t>&() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Every code the handheld defines.
inline constexpr std::uint8_t kKnownCodes[] = {1, 2, 3, 5, 7, 8, 9, 10, 11, 12, 13, 14, 100};

}  // namespace fernpad::discovery::test
