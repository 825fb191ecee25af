#include "web/WebMessages.h"

#include <algorithm>
#include <charconv>

#include "core/Cp1252.h"

namespace fernpad::web {
namespace {

using Params = std::vector<std::string>;

bool IsNumber(std::string_view s) {
  if (!s.empty() && s.front() == '-') s.remove_prefix(1);
  if (s.empty() || s.size() > 11 || s.front() == '.' || s.back() == '.') return false;
  return std::count(s.begin(), s.end(), '.') <= 1 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// The words after the name; nothing when there are not exactly `count` numbers.
std::vector<std::string_view> Numbers(std::string_view rest, std::size_t count) {
  std::vector<std::string_view> words;
  for (std::size_t start = 0; words.size() <= count;) {
    const auto space = rest.find(' ', start);
    words.push_back(rest.substr(start, space - start));
    if (space == std::string_view::npos) break;
    start = space + 1;
  }
  if (words.size() != count || !std::all_of(words.begin(), words.end(), IsNumber)) return {};
  return words;
}

// "17,65" as the bytes 17 and 65; nothing for anything else.
std::string KeyCodes(std::string_view list) {
  std::string codes;
  while (!list.empty()) {
    const auto comma = list.find(',');
    const std::string_view word = list.substr(0, comma);
    unsigned code = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), code);
    if (ec != std::errc() || end != word.data() + word.size() || code < 1 || code > 255 || word.size() > 3)
      return {};
    codes += static_cast<char>(code);
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
    if (list.empty()) return {};
  }
  return codes;
}

}  // namespace

std::vector<std::vector<std::string>> MapWebMessage(std::string_view message) {
  if (message.size() > kMaxMessage) return {};
  const auto space = message.find(' ');
  const std::string_view name = message.substr(0, space);
  const std::string_view rest =
      space == std::string_view::npos ? std::string_view() : message.substr(space + 1);
  const bool bare = space == std::string_view::npos;
  const std::string command = "a=" + std::string(name);

  static constexpr std::string_view kBare[] = {"d",    "u",    "uabs", "mbl",  "mbld", "mblu", "mbm",
                                               "mbmd", "mbmu", "mbr",  "mbrd", "mbru", "ss",   "ssPad"};
  if (bare && std::find(std::begin(kBare), std::end(kBare), name) != std::end(kBare))
    return {{"x:0", "y:0", command}};
  if (bare && name == "p") return {};

  if (name == "m" || name == "dabs" || name == "mabs") {
    const auto xy = Numbers(rest, 2);
    if (xy.empty()) return {};
    return {{"x:" + std::string(xy[0]), "y:" + std::string(xy[1]), command}};
  }
  if (name == "scrollm") {
    const auto y = Numbers(rest, 1);
    if (y.empty()) return {};
    return {{"x:0", "y:" + std::string(y[0]), command}};
  }
  if (name == "vkd" || name == "vku") {
    const std::string codes = KeyCodes(rest);
    if (codes.empty()) return {};
    return {{"x:0", "y:0", command, "v= " + codes}};
  }
  if (name == "k" && !bare) {
    const std::string text = Utf8ToCp1252(rest);
    // A bare "v=" would type a Backspace, and the handheld spells two characters in hex: " AC" and " 22"
    // would not come out as typed, so they go out in two parts.
    if (text.empty()) return {};
    if (text == " AC" || text == " 22")
      return {{"x:0", "y:0", command, "v=  "}, {"x:0", "y:0", command, "v= " + text.substr(1)}};
    return {{"x:0", "y:0", command, "v= " + text}};
  }
  return {};
}

}  // namespace fernpad::web
