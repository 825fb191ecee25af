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

}  // namespace
}  // namespace fernpad
