#include "input/Numbers.h"

#include <cfenv>
#include <charconv>
#include <cmath>
#include <limits>

namespace fernpad::input {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

[[noreturn]] void Fail(std::string_view) {
  // The text stays out of the message: the error reply goes back to whoever sent it (the request line
  // in the log shows it).
  throw ConversionError("not a valid floating point value");
}

}  // namespace

std::string DotToDecimalSeparator(std::string_view parameter, char decimalSeparator) {
  std::string text(parameter.size() > 2 ? parameter.substr(2, 100) : std::string_view{});
  for (char& c : text)
    if (c == '.') c = decimalSeparator;
  return text;
}

long double StrToFloat(std::string_view text, char decimalSeparator) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;

  // Rewrite into the one form from_chars reads: '.' as separator, no leading '+'. Any '.' left in the text
  // here is not the locale's separator and makes the text invalid.
  std::string canonical;
  canonical.reserve(end - begin);
  std::size_t i = begin;
  bool negative = false;
  if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  bool digits = false;
  bool separator = false;
  bool exponent = false;
  for (; i < end; ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      canonical += c;
    } else if (c == decimalSeparator && !separator && !exponent) {
      separator = true;
      canonical += '.';
    } else if ((c == 'e' || c == 'E') && digits && !exponent) {
      exponent = true;
      canonical += 'e';
      if (i + 1 < end && (text[i + 1] == '+' || text[i + 1] == '-')) canonical += text[++i];
      if (i + 1 >= end) Fail(text);
    } else {
      Fail(text);
    }
  }
  if (!digits) Fail(text);

  long double value = 0;
  const char* first = canonical.data();
  const char* last = first + canonical.size();
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last || !std::isfinite(value)) Fail(text);
  return negative ? -value : value;
}

long double ParseNumber(std::string_view parameter, char decimalSeparator) {
  return StrToFloat(DotToDecimalSeparator(parameter, decimalSeparator), decimalSeparator);
}

std::optional<int> NearestChecked(long double value) {
  // rint rounds in the current mode, which nothing in this program changes from to-nearest-even (and, unlike
  // nearbyint, does not save and restore the floating-point environment on every call).
  const long double rounded = std::rint(value);
  if (!(rounded >= std::numeric_limits<int>::min() && rounded <= std::numeric_limits<int>::max()))
    return std::nullopt;  // NaN fails both comparisons
  return static_cast<int>(rounded);
}

int Nearest(long double value) {
  if (const auto rounded = NearestChecked(value)) return *rounded;
  throw std::range_error("value out of range");
}

}  // namespace fernpad::input
