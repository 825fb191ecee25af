#include "core/Cp1252.h"

#include <cstdint>
#include <optional>

namespace fernpad {
namespace {

// 0x80..0x9F; 0 where the code page defines no character.
constexpr char32_t kHigh[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (unsigned char b : bytes) {
    char32_t c = b;
    if (b >= 0x80 && b < 0xA0) c = kHigh[b - 0x80] ? kHigh[b - 0x80] : 0xFFFD;
    AppendUtf8(out, c);
  }
  return out;
}

namespace {

// The next code point of a UTF-8 text, or nothing for a malformed sequence (overlong, surrogate, beyond
// U+10FFFF or cut short); advances past what it read either way.
std::optional<char32_t> NextCodePoint(std::string_view& s) {
  const auto lead = static_cast<unsigned char>(s.front());
  s.remove_prefix(1);
  if (lead < 0x80) return lead;
  int more = 0;
  char32_t c = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    more = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    more = 2;
    c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    more = 3;
    c = lead & 0x07;
  } else {
    return std::nullopt;
  }
  for (int i = 0; i < more; ++i) {
    if (s.empty() || (static_cast<unsigned char>(s.front()) & 0xC0) != 0x80) return std::nullopt;
    c = (c << 6) | (static_cast<unsigned char>(s.front()) & 0x3F);
    s.remove_prefix(1);
  }
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (c < kLeast[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
  return c;
}

}  // namespace

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const auto c = NextCodePoint(text);
    if (!c) continue;
    if ((*c >= 0x20 && *c < 0x7F) || (*c >= 0xA0 && *c <= 0xFF)) {
      out += static_cast<char>(*c);
      continue;
    }
    for (int i = 0; i < 32; ++i)
      if (kHigh[i] != 0 && kHigh[i] == *c) out += static_cast<char>(0x80 + i);
  }
  return out;
}

}  // namespace fernpad
