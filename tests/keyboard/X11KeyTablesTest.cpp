#include "platform/linux/X11KeyTables.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <string>

namespace fernpad::x11keys {
namespace {

std::string EncodeUtf8(char32_t u) {
  std::string s;
  if (u < 0x80) {
    s += static_cast<char>(u);
  } else if (u < 0x800) {
    s += static_cast<char>(0xC0 | (u >> 6));
    s += static_cast<char>(0x80 | (u & 0x3F));
  } else if (u < 0x10000) {
    s += static_cast<char>(0xE0 | (u >> 12));
    s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (u & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | (u >> 18));
    s += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (u & 0x3F));
  }
  return s;
}

TEST(Windows1252, EveryDefinedByteSurvivesTheTripThroughUtf8) {
  int undefined = 0;
  for (int b = 1; b < 256; ++b) {
    const char32_t u = Windows1252ToUnicode(static_cast<std::uint8_t>(b));
    if (u == 0) {
      ++undefined;
      continue;
    }
    EXPECT_EQ(Utf8ToWindows1252(EncodeUtf8(u)), std::string(1, static_cast<char>(b))) << b;
  }
  EXPECT_EQ(undefined, 5);  // 0x81, 0x8D, 0x8F, 0x90, 0x9D
}

TEST(Windows1252, CharactersOutsideTheCodePageAndBrokenUtf8BecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToWindows1252(EncodeUtf8(0x2603) + "a" + EncodeUtf8(0x1F600)), "?a?");
  EXPECT_EQ(Utf8ToWindows1252("\xC3"), "?");            // cut short
  EXPECT_EQ(Utf8ToWindows1252("\xC3x"), "?x");          // continuation missing
  EXPECT_EQ(Utf8ToWindows1252("\xC0\xA9"), "?");        // overlong form of ')'
  EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80z"), "?z");  // a surrogate
  EXPECT_EQ(Utf8ToWindows1252("\xFFok"), "?ok");
}

TEST(Windows1252, EveryPrintableCharacterHasAKeysymThatMeansIt) {
  for (int b = 0x20; b < 256; ++b) {
    const auto c = static_cast<std::uint8_t>(b);
    const auto syms = KeysymsForCharacter(c);
    if (Windows1252ToUnicode(c) == 0 || b == 0x7F) {
      EXPECT_TRUE(syms.empty()) << b;
      continue;
    }
    ASSERT_FALSE(syms.empty()) << b;
    // The Unicode form is always among them, and a Latin-1 character is its own keysym.
    const Sym unicodeForm = 0x1000000 | Windows1252ToUnicode(c);
    const bool latin1 = b < 0x80 || b >= 0xA0;
    EXPECT_TRUE(latin1 ? syms.front() == Sym(b) : syms.back() == unicodeForm) << b;
  }
  EXPECT_EQ(KeysymsForCharacter(0x80).front(), Sym(XK_EuroSign));
  EXPECT_EQ(KeysymsForCharacter('\n'), KeysymsForCharacter('\r'));
}

TEST(VirtualKeys, LookUpsInBothDirectionsAgree) {
  for (int vk = 1; vk < 0x100; ++vk) {
    const auto m = MeaningOfVk(static_cast<std::uint16_t>(vk));
    switch (m.kind) {
      case VkKind::kCharacter:
        EXPECT_EQ(VkAtPosition(m.position), vk) << vk;
        break;
      case VkKind::kPosition:
        // Left and right modifiers share a place with the generic one; the place names one of them.
        EXPECT_EQ(MeaningOfVk(VkAtPosition(m.position)).position, m.position) << vk;
        break;
      case VkKind::kKeysym:
        EXPECT_EQ(MeaningOfVk(VkForKeysym(m.keysym)).keysym, m.keysym) << vk;
        break;
      case VkKind::kNone:
        break;
    }
  }
}

TEST(VirtualKeys, KeysHaveTheirXMeaning) {
  EXPECT_EQ(MeaningOfVk('Q').keysym, Sym(XK_q));
  EXPECT_EQ(MeaningOfVk(0xDB).position, "AD11");  // VK_OEM_4, [ on a US keyboard
  EXPECT_EQ(MeaningOfVk(0x12).position, "LALT");
  EXPECT_EQ(MeaningOfVk(0x87).keysym, Sym(XK_F24));
  EXPECT_EQ(MeaningOfVk(0x26).keysym, Sym(XK_Up));
  EXPECT_EQ(MeaningOfVk(0x07).kind, VkKind::kNone);
  EXPECT_EQ(MeaningOfVk(0xFFFF).kind, VkKind::kNone);
  EXPECT_EQ(VkForKeysym(XK_Print), 0x2C);  // the Print Screen key
}

TEST(LayoutIds, VariantsFallBackToTheirLayout) {
  EXPECT_EQ(WindowsLayoutId("us", ""), "00000409");
  EXPECT_EQ(WindowsLayoutId("us", "intl"), "00020409");
  EXPECT_EQ(WindowsLayoutId("de", "nodeadkeys"), WindowsLayoutId("de", ""));
  EXPECT_EQ(WindowsLayoutId("ch", "fr"), "0000100C");
  EXPECT_EQ(WindowsLayoutId("xx", ""), "00000000");
  EXPECT_EQ(WindowsLayoutId("", ""), "00000000");
  for (const char* l : {"us", "gb", "de", "fr", "fi", "no", "ch", "es", "it", "se", "dk", "pl", "ru"}) {
    const std::string id = WindowsLayoutId(l, "");
    EXPECT_EQ(id.size(), 8u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << l;
    EXPECT_NE(id, "00000000") << l;
  }
}

}  // namespace
}  // namespace fernpad::x11keys
