#include "web/QrCode.h"

#include <gtest/gtest.h>

namespace fernpad::web {
namespace {

TEST(QrCode, TheAddressBecomesACodeWithItsThreeFinderPatterns) {
  const auto code = MakeQrCode("http://192.168.178.20:12773/#0123456789abcdef0123456789abcdef");
  ASSERT_TRUE(code);
  EXPECT_EQ((code->size - 17) % 4, 0) << code->size;  // a QR version's size
  // Each corner but the bottom right holds a 7 by 7 square ring around a 3 by 3 square.
  for (const auto& [cx, cy] : {std::pair{0, 0}, std::pair{code->size - 7, 0}, std::pair{0, code->size - 7}}) {
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 7; ++x) {
        const bool ring = x == 0 || y == 0 || x == 6 || y == 6;
        const bool core = x >= 2 && x <= 4 && y >= 2 && y <= 4;
        EXPECT_EQ(code->Dark(cx + x, cy + y), ring || core) << cx << ',' << cy << " +" << x << ',' << y;
      }
    }
  }
}

TEST(QrCode, ATerminalShowsTwoRowsALine) {
  QrCode code{3, {true, false, true, false, true, false, true, false, true}};
  const std::string text = QrTerminalText(code);
  // 3 modules and a quiet zone of 2 on each side: 7 rows in 4 lines of 7 characters of 3 bytes each.
  const std::string light = "\u2588", top = "\u2580", bottom = "\u2584";
  const std::string expected = light + light + light + light + light + light + light + "\n" +    //
                               light + light + bottom + top + bottom + light + light + "\n" +    //
                               light + light + bottom + light + bottom + light + light + "\n" +  //
                               top + top + top + top + top + top + top + "\n";
  EXPECT_EQ(text, expected);
}

}  // namespace
}  // namespace fernpad::web
