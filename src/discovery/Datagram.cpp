#include "discovery/Datagram.h"

#include <cmath>
#include <cstring>

namespace fernpad::discovery {
namespace {

int HexDigit(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 0;  // anything else, lower-case digits included
}

// Two finite floats at offsets 1 and 5, or nothing.
template <class T>
std::optional<Datagram> TwoFloats(std::span<const std::uint8_t> data) {
  const float a = FloatAt(data, 1);
  const float b = FloatAt(data, 5);
  if (!std::isfinite(a) || !std::isfinite(b)) return std::nullopt;
  return T{a, b};
}

template <class T>
std::optional<Datagram> KeyText(std::span<const std::uint8_t> data) {
  const std::size_t n = data[1];
  if (data.size() < 2 + n) return std::nullopt;  // N claims more text than the datagram holds
  return T{DecodeEscapedText(data.subspan(2), n)};
}

}  // namespace

input::ButtonFlags ButtonFromByte(std::uint8_t byte) {
  switch (byte) {
    case 1:
      return input::kLeftButton;
    case 2:
      return input::kRightButton;
    case 3:
      return input::kMiddleButton;
    default:
      return {};
  }
}

float FloatAt(std::span<const std::uint8_t> data, std::size_t offset) {
  // Assembled from its bytes, so the wire order holds whatever the host's byte order.
  const std::uint32_t bits =
      static_cast<std::uint32_t>(data[offset]) | static_cast<std::uint32_t>(data[offset + 1]) << 8 |
      static_cast<std::uint32_t>(data[offset + 2]) << 16 | static_cast<std::uint32_t>(data[offset + 3]) << 24;
  float value;
  static_assert(sizeof value == sizeof bits);
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string DecodeEscapedText(std::span<const std::uint8_t> text, std::size_t n) {
  std::string decoded;
  decoded.reserve(n / 3);
  for (std::size_t group = 0; group + 3 <= n; group += 3) {
    decoded.push_back(static_cast<char>(16 * HexDigit(text[group + 1]) + HexDigit(text[group + 2])));
  }
  return decoded;
}

std::size_t MinimumLength(std::uint8_t code) {
  switch (static_cast<Code>(code)) {
    case Code::Ping:
    case Code::Discovery:
      return 1;
    case Code::Press:
    case Code::Release:
    case Code::ButtonDown:
    case Code::ButtonUp:
    case Code::KeyDown:
    case Code::KeyUp:
    case Code::TypeText:
      return 2;
    case Code::Wheel:
      return 5;
    case Code::Move:
    case Code::Overlay:
      return 9;
    case Code::Joystick:
      return 13;  // the third float is read, though not used
  }
  return 0;
}

std::optional<Datagram> DecodeDatagram(std::span<const std::uint8_t> data) {
  if (data.empty()) return std::nullopt;
  const std::size_t needed = MinimumLength(data[0]);
  if (needed == 0 || data.size() < needed) return std::nullopt;
  switch (static_cast<Code>(data[0])) {
    case Code::Press:
      return Press{ButtonFromByte(data[1])};
    case Code::Release:
      return Release{ButtonFromByte(data[1])};
    case Code::ButtonDown:
      return ButtonDown{ButtonFromByte(data[1])};
    case Code::ButtonUp:
      return ButtonUp{ButtonFromByte(data[1])};
    case Code::Move:
      return TwoFloats<Move>(data);
    case Code::Overlay:
      return TwoFloats<PlaceOverlay>(data);
    case Code::Joystick:
      return TwoFloats<Joystick>(data);  // the third float is not used, so its value does not matter
    case Code::Wheel: {
      const float notches = FloatAt(data, 1);
      if (!std::isfinite(notches)) return std::nullopt;
      return Wheel{notches};
    }
    case Code::KeyDown:
      return KeyText<KeyDown>(data);
    case Code::KeyUp:
      return KeyText<KeyUp>(data);
    case Code::TypeText:
      return KeyText<TypeText>(data);
    case Code::Ping:
      return Ping{};
    case Code::Discovery:
      return Discover{};
  }
  return std::nullopt;
}

}  // namespace fernpad::discovery
