#include "core/Cp1252.h"

#include <gtest/gtest.h>

namespace fernpad {
namespace {

TEST(Cp1252, ShowsTheHandheldsBytesAsTheirCharacters) {
  EXPECT_EQ(Cp1252ToUtf8("Hello"), "Hello");
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\u20AC");  // euro sign
  EXPECT_EQ(Cp1252ToUtf8("\xA3\xE4\xFF"), "\u00A3\u00E4\u00FF");
  EXPECT_EQ(Cp1252ToUtf8("\x9F\x8A"), "\u0178\u0160");
  EXPECT_EQ(Cp1252ToUtf8("\x81"), "\uFFFD");  // undefined in the code page
  EXPECT_EQ(Cp1252ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Cp1252, TypesWhatTheCodePageHasOfABrowsersText) {
  const struct {
    std::string utf8;
    std::string bytes;
  } cases[] = {
      {"Hello", "Hello"},
      {"\u20AC\u00E4\u00FF\u0178", "\x80\xE4\xFF\x9F"},
      {"a\u4E2Db\U0001F600c", "abc"},                      // nothing in the code page
      {"a\tb\nc\x7F", "abc"},                              // control characters are keys of their own
      {"a\xC3", "a"},                                      // cut short
      {"\xC0\xAFx\xED\xA0\x80y\xF4\x90\x80\x80z", "xyz"},  // overlong, surrogate, beyond U+10FFFF
      {"\x80\xBF\xFFok", "ok"},                            // stray bytes
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToCp1252(c.utf8), c.bytes) << c.utf8;
}

}  // namespace
}  // namespace fernpad
