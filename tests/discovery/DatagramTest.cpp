#include "discovery/Datagram.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "DatagramBytes.h"

namespace fernpad::discovery {
namespace {

using test::DatagramBytes;
using namespace std::string_view_literals;

std::span<const std::uint8_t> Span(const std::vector<std::uint8_t>& v) {
  return {v.data(), v.size()};
}
std::vector<std::uint8_t> Chars(std::string_view s) {
  return {s.begin(), s.end()};
}

// The smallest complete datagram of every code, as the handheld sends it.
std::vector<std::vector<std::uint8_t>> CompleteDatagrams() {
  return {
      DatagramBytes(1).Byte(1),
      DatagramBytes(2).Float(3).Float(-4),
      DatagramBytes(3).Byte(2),
      DatagramBytes(5).Float(0.5f).Float(0.25f),
      DatagramBytes(7).Float(1).Float(-1).Float(0),
      DatagramBytes(8),
      DatagramBytes(9).Byte(3),
      DatagramBytes(10).Byte(3),
      DatagramBytes(11).Text("%41"),
      DatagramBytes(12).Text("%42%43"),
      DatagramBytes(13).Text("%44"),
      DatagramBytes(14).Float(1),
      DatagramBytes(100),
  };
}

TEST(FloatAt, LittleEndianSingles) {
  const std::vector<std::uint8_t> three = {0x02, 0x00, 0x00, 0x40, 0x40};
  EXPECT_EQ(FloatAt(Span(three), 1), 3.0f);
  for (float f : {0.0f, -0.0f, 1.5f, -25.0f, 1e-40f, std::numeric_limits<float>::max(), 0.1f}) {
    const auto bytes = DatagramBytes(0).Float(f).Bytes();
    const float back = FloatAt(Span(bytes), 1);
    EXPECT_EQ(std::memcmp(&back, &f, sizeof f), 0) << f;
  }
  // Byte order matters: the same bytes reversed are another number.
  const std::vector<std::uint8_t> reversed = {0x40, 0x40, 0x00, 0x00};
  EXPECT_NE(FloatAt(Span(reversed), 0), 3.0f);
}

TEST(DecodeEscapedText, GroupsOfThreeCharacters) {
  EXPECT_EQ(DecodeEscapedText(Span(Chars("%41")), 3), "A");
  EXPECT_EQ(DecodeEscapedText(Span(Chars("%41x")), 4), "A");   // one character left over
  EXPECT_EQ(DecodeEscapedText(Span(Chars("%41xy")), 5), "A");  // two left over
  EXPECT_EQ(DecodeEscapedText(Span(Chars("")), 0), "");
  EXPECT_EQ(DecodeEscapedText(Span(Chars("%41%42")), 6), "AB");
  // The first character of a group is never examined.
  EXPECT_EQ(DecodeEscapedText(Span(Chars("F41!42\x00"
                                         "43"sv)),
                              9),
            "ABC");
  // Upper-case hexadecimal digits, high digit first; the whole byte range.
  EXPECT_EQ(DecodeEscapedText(Span(Chars("%FF%0A%A0%9F")), 12), "\xFF\x0A\xA0\x9F");
  // Lower-case letters and other characters count as 0.
  EXPECT_EQ(DecodeEscapedText(Span(Chars("%4a")), 3), std::string("\x40"));
  EXPECT_EQ(DecodeEscapedText(Span(Chars("%a4")), 3), std::string("\x04"));
  EXPECT_EQ(DecodeEscapedText(Span(Chars("%ff%G1% 7")), 9), std::string("\x00\x01\x07", 3));
  // Only n characters are read, whatever follows.
  EXPECT_EQ(DecodeEscapedText(Span(Chars("%41%42")), 3), "A");
}

TEST(ButtonFromByte, TheButtonTable) {
  EXPECT_EQ(ButtonFromByte(1), (input::ButtonFlags{0x0002, 0x0004}));
  EXPECT_EQ(ButtonFromByte(2), (input::ButtonFlags{0x0008, 0x0010}));
  EXPECT_EQ(ButtonFromByte(3), (input::ButtonFlags{0x0020, 0x0040}));
  for (int b : {0, 4, 5, 100, 255})
    EXPECT_EQ(ButtonFromByte(static_cast<std::uint8_t>(b)), (input::ButtonFlags{}));
}

TEST(DecodeDatagram, EveryCodeWithItsLayout) {
  const auto press = DecodeDatagram(DatagramBytes(1).Byte(2).Bytes());
  ASSERT_TRUE(press && std::holds_alternative<Press>(*press));
  EXPECT_EQ(std::get<Press>(*press).button, input::kRightButton);

  const auto release = DecodeDatagram(DatagramBytes(3).Byte(3).Bytes());
  ASSERT_TRUE(release && std::holds_alternative<Release>(*release));
  EXPECT_EQ(std::get<Release>(*release).button, input::kMiddleButton);

  const std::vector<std::uint8_t> example = {0x02, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00, 0x00, 0x00};
  const auto move = DecodeDatagram(example);
  ASSERT_TRUE(move && std::holds_alternative<Move>(*move));
  EXPECT_EQ(std::get<Move>(*move).dx, 3.0f);
  EXPECT_EQ(std::get<Move>(*move).dy, 0.0f);

  const auto overlay = DecodeDatagram(DatagramBytes(5).Float(0.25f).Float(0.75f).Bytes());
  ASSERT_TRUE(overlay && std::holds_alternative<PlaceOverlay>(*overlay));
  EXPECT_EQ(std::get<PlaceOverlay>(*overlay).fx, 0.25f);
  EXPECT_EQ(std::get<PlaceOverlay>(*overlay).fy, 0.75f);

  const auto joystick = DecodeDatagram(DatagramBytes(7).Float(0.5f).Float(-0.75f).Float(9).Bytes());
  ASSERT_TRUE(joystick && std::holds_alternative<Joystick>(*joystick));
  EXPECT_EQ(std::get<Joystick>(*joystick).jx, 0.5f);
  EXPECT_EQ(std::get<Joystick>(*joystick).jy, -0.75f);

  EXPECT_TRUE(std::holds_alternative<Ping>(*DecodeDatagram(DatagramBytes(8).Bytes())));
  EXPECT_TRUE(std::holds_alternative<Discover>(*DecodeDatagram(DatagramBytes(100).Bytes())));

  const auto down = DecodeDatagram(DatagramBytes(9).Byte(1).Bytes());
  ASSERT_TRUE(down && std::holds_alternative<ButtonDown>(*down));
  EXPECT_EQ(std::get<ButtonDown>(*down).button, input::kLeftButton);
  const auto up = DecodeDatagram(DatagramBytes(10).Byte(7).Bytes());
  ASSERT_TRUE(up && std::holds_alternative<ButtonUp>(*up));
  EXPECT_EQ(std::get<ButtonUp>(*up).button, input::ButtonFlags{});

  const auto keyDown = DecodeDatagram(DatagramBytes(11).Text("%41%1B").Bytes());
  ASSERT_TRUE(keyDown && std::holds_alternative<KeyDown>(*keyDown));
  EXPECT_EQ(std::get<KeyDown>(*keyDown).text, "A\x1B");
  const auto keyUp = DecodeDatagram(DatagramBytes(12).Text("%0D").Bytes());
  ASSERT_TRUE(keyUp && std::holds_alternative<KeyUp>(*keyUp));
  EXPECT_EQ(std::get<KeyUp>(*keyUp).text, "\x0D");
  const auto typed = DecodeDatagram(DatagramBytes(13).Text("").Bytes());
  ASSERT_TRUE(typed && std::holds_alternative<TypeText>(*typed));
  EXPECT_EQ(std::get<TypeText>(*typed).text, "");

  const auto wheel = DecodeDatagram(DatagramBytes(14).Float(-2.5f).Bytes());
  ASSERT_TRUE(wheel && std::holds_alternative<Wheel>(*wheel));
  EXPECT_EQ(std::get<Wheel>(*wheel).notches, -2.5f);
}

TEST(DecodeDatagram, BytesBeyondTheFieldsAreIgnored) {
  for (auto bytes : CompleteDatagrams()) {
    const auto plain = DecodeDatagram(bytes);
    ASSERT_TRUE(plain) << int(bytes[0]);
    bytes.insert(bytes.end(), {0x31, 0xFF, 0x00, 0x7F, 0x41, 0x41});
    const auto padded = DecodeDatagram(bytes);
    ASSERT_TRUE(padded) << int(bytes[0]);
    EXPECT_EQ(padded->index(), plain->index());
  }
  // N counts the characters: the rest of the datagram is not text.
  const auto typed = DecodeDatagram(DatagramBytes(13).Text("%41").Raw("%42").Bytes());
  EXPECT_EQ(std::get<TypeText>(*typed).text, "A");
}

TEST(DecodeDatagram, EveryOtherCodeIsIgnored) {
  for (int code = 0; code < 256; ++code) {
    if (std::find(std::begin(test::kKnownCodes), std::end(test::kKnownCodes), code) !=
        std::end(test::kKnownCodes))
      continue;
    std::vector<std::uint8_t> bytes(64, 0x01);
    bytes[0] = static_cast<std::uint8_t>(code);
    EXPECT_FALSE(DecodeDatagram(bytes)) << code;
    EXPECT_FALSE(DecodeDatagram(std::span(bytes).first(1))) << code;
  }
  EXPECT_FALSE(DecodeDatagram(std::span<const std::uint8_t>()));
}

TEST(DecodeDatagram, AShortDatagramIsDroppedWhole) {
  for (const auto& bytes : CompleteDatagrams()) {
    for (std::size_t length = 0; length < bytes.size(); ++length)
      EXPECT_FALSE(DecodeDatagram(std::span(bytes).first(length)))
          << "code " << int(bytes[0]) << " length " << length;
    EXPECT_TRUE(DecodeDatagram(bytes)) << int(bytes[0]);
  }
  // A key datagram whose N claims more characters than it carries.
  for (std::uint8_t code : {11, 12, 13}) {
    auto bytes = DatagramBytes(code).Text("%41%42").Bytes();
    bytes[1] = 7;
    EXPECT_FALSE(DecodeDatagram(bytes)) << int(code);
    bytes[1] = 255;
    EXPECT_FALSE(DecodeDatagram(bytes)) << int(code);
  }
}

TEST(DecodeDatagram, NonFiniteFloatsDropTheDatagram) {
  const float bad[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                       -std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::signaling_NaN()};
  for (float f : bad) {
    EXPECT_FALSE(DecodeDatagram(DatagramBytes(2).Float(f).Float(0).Bytes()));
    EXPECT_FALSE(DecodeDatagram(DatagramBytes(2).Float(0).Float(f).Bytes()));
    EXPECT_FALSE(DecodeDatagram(DatagramBytes(5).Float(f).Float(0).Bytes()));
    EXPECT_FALSE(DecodeDatagram(DatagramBytes(5).Float(0).Float(f).Bytes()));
    EXPECT_FALSE(DecodeDatagram(DatagramBytes(7).Float(f).Float(0).Float(0).Bytes()));
    EXPECT_FALSE(DecodeDatagram(DatagramBytes(7).Float(0).Float(f).Float(0).Bytes()));
    EXPECT_FALSE(DecodeDatagram(DatagramBytes(14).Float(f).Bytes()));
    // The joystick's third float is never used, so its value does not matter.
    EXPECT_TRUE(DecodeDatagram(DatagramBytes(7).Float(0.5f).Float(0).Float(f).Bytes()));
  }
}

}  // namespace
}  // namespace fernpad::discovery
