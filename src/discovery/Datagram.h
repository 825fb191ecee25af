#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>

#include "input/Mouse.h"

namespace fernpad::discovery {

// The first byte of every datagram the handheld sends to the datagram port.
enum class Code : std::uint8_t {
  Press = 1,
  Move = 2,
  Release = 3,
  Overlay = 5,
  Joystick = 7,
  Ping = 8,
  ButtonDown = 9,
  ButtonUp = 10,
  KeyDown = 11,
  KeyUp = 12,
  TypeText = 13,
  Wheel = 14,
  Discovery = 100,
};

// The answers, plain ASCII without terminator.
inline constexpr std::string_view kPingAnswer = "ok!";
inline constexpr std::string_view kDiscoveryAnswer = "QMXServer";

// One datagram, decoded into typed values. Floats are always finite.
struct Press {  // code 1: finger down through the tap logic
  input::ButtonFlags button;
};
struct Release {  // code 3: finger up through the tap logic
  input::ButtonFlags button;
};
struct Move {  // code 2: relative move, accelerated
  float dx = 0;
  float dy = 0;
};
struct PlaceOverlay {  // code 5: the presenter dot at fractions of the primary screen
  float fx = 0;
  float fy = 0;
};
struct Joystick {  // code 7: one step of a joystick deflection
  float jx = 0;
  float jy = 0;
};
struct Ping {};      // code 8
struct ButtonDown {  // code 9: the button's down flag at once, no tap logic
  input::ButtonFlags button;
};
struct ButtonUp {  // code 10
  input::ButtonFlags button;
};
struct KeyDown {  // code 11; text holds the decoded bytes
  std::string text;
};
struct KeyUp {  // code 12
  std::string text;
};
struct TypeText {  // code 13
  std::string text;
};
struct Wheel {  // code 14
  float notches = 0;
};
struct Discover {};  // code 100

using Datagram = std::variant<Press, Release, Move, PlaceOverlay, Joystick, Ping, ButtonDown, ButtonUp,
                              KeyDown, KeyUp, TypeText, Wheel, Discover>;

// The button byte of codes 1, 3, 9 and 10: 1 left, 2 right, 3 middle; any other byte has no flags.
input::ButtonFlags ButtonFromByte(std::uint8_t byte);

// The float at offset in the datagram: an IEEE single, little-endian. The caller checks the length.
float FloatAt(std::span<const std::uint8_t> data, std::size_t offset);

// Escaped text: three characters per byte, the first not examined, then two hexadecimal digits, high
// first. "0"-"9" and "A"-"F" are digits; any other character, lower-case letters included, counts as 0.
// One or two characters after the last complete group are ignored. Reads the first n bytes of text
// (the caller guarantees that many).
std::string DecodeEscapedText(std::span<const std::uint8_t> text, std::size_t n);

// Decodes one datagram. Returns nothing (the datagram is dropped) for an unknown code, for a datagram
// shorter than its code needs (a key datagram: shorter than 2 + N bytes) and for a float that is NaN or
// infinite. Bytes beyond those a code uses are ignored.
std::optional<Datagram> DecodeDatagram(std::span<const std::uint8_t> data);

// The length a datagram with this first byte needs at least, before any key text; 0 for unknown codes.
std::size_t MinimumLength(std::uint8_t code);

}  // namespace fernpad::discovery
