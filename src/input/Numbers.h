#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace fernpad::input {

// A number parameter that does not convert. The message does not repeat the text.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Characters 3 to 102 of a number parameter (its first two characters, normally "x:" or "y:", are dropped
// whatever they are), with every '.' replaced by the locale's decimal separator.
std::string DotToDecimalSeparator(std::string_view parameter, char decimalSeparator);

// Converts text as a floating-point number whose decimal separator is the given one (no other separators):
// optional blanks, an optional sign, digits with at most one separator, an optional exponent, optional
// blanks. Throws ConversionError for anything else, for an empty text, and for a value out of range.
long double StrToFloat(std::string_view text, char decimalSeparator);

// DotToDecimalSeparator followed by StrToFloat: how every number of a request is read.
long double ParseNumber(std::string_view parameter, char decimalSeparator);

// Rounds to the nearest integer, ties to the even neighbour (2.5 -> 2, 3.5 -> 4); empty when the value is
// not finite or the result does not fit into 32 bits.
std::optional<int> NearestChecked(long double value);

// NearestChecked, throwing std::range_error for what does not fit (the caller's request then fails instead
// of wrapping around).
int Nearest(long double value);

}  // namespace fernpad::input
