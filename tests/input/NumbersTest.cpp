#include "input/Numbers.h"

#include <gtest/gtest.h>

namespace fernpad::input {
namespace {

TEST(Numbers, DropsTheFirstTwoCharactersWhateverTheyAre) {
  EXPECT_EQ(DotToDecimalSeparator("x:12.5", '.'), "12.5");
  EXPECT_EQ(DotToDecimalSeparator("ab-3", '.'), "-3");
  EXPECT_EQ(DotToDecimalSeparator("x:", '.'), "");
  EXPECT_EQ(DotToDecimalSeparator("x", '.'), "");
  EXPECT_EQ(DotToDecimalSeparator("", '.'), "");
}

TEST(Numbers, ReplacesDotsWithTheLocaleSeparatorAndKeepsAtMostHundredCharacters) {
  EXPECT_EQ(DotToDecimalSeparator("x:1.5", ','), "1,5");
  EXPECT_EQ(DotToDecimalSeparator("x:1,5", '.'), "1,5");
  const std::string longText = "x:" + std::string(150, '7');
  EXPECT_EQ(DotToDecimalSeparator(longText, '.').size(), 100u);
}

TEST(Numbers, ParsesInEveryLocaleWhenWrittenWithADot) {
  EXPECT_EQ(ParseNumber("x:1.5", '.'), 1.5L);
  EXPECT_EQ(ParseNumber("x:1.5", ','), 1.5L);
  EXPECT_EQ(ParseNumber("y:-3", '.'), -3.0L);
  EXPECT_EQ(ParseNumber("y:+2", '.'), 2.0L);
  EXPECT_EQ(ParseNumber("y: 7 ", '.'), 7.0L);  // a '+' in the query arrives as a blank
  EXPECT_EQ(ParseNumber("y:1e2", '.'), 100.0L);
  EXPECT_EQ(ParseNumber("y:.5", '.'), 0.5L);
}

TEST(Numbers, CommaParsesOnlyWhereItIsTheSeparator) {
  EXPECT_EQ(ParseNumber("x:1,5", ','), 1.5L);
  EXPECT_THROW(ParseNumber("x:1,5", '.'), ConversionError);
}

TEST(Numbers, RejectsWhatIsNotANumber) {
  for (const char* bad :
       {"x:", "x:abc", "x:1.2.3", "x:1e", "x:--1", "x:inf", "x:nan", "x:0x10", "x:1 2", "x:1e99999"})
    EXPECT_THROW(ParseNumber(bad, '.'), ConversionError) << bad;
}

TEST(Numbers, NearestRoundsTiesToEven) {
  EXPECT_EQ(Nearest(2.5L), 2);
  EXPECT_EQ(Nearest(3.5L), 4);
  EXPECT_EQ(Nearest(-2.5L), -2);
  EXPECT_EQ(Nearest(0.5L), 0);
  EXPECT_EQ(Nearest(1.5L), 2);
  EXPECT_EQ(Nearest(2.4999L), 2);
  EXPECT_EQ(Nearest(-0.6L), -1);
}

TEST(Numbers, NearestRefusesWhatDoesNotFitIn32Bits) {
  EXPECT_EQ(Nearest(2147483647.0L), 2147483647);
  EXPECT_THROW(Nearest(2147483648.0L), std::range_error);
  EXPECT_THROW(Nearest(-1e30L), std::range_error);
}

}  // namespace
}  // namespace fernpad::input
