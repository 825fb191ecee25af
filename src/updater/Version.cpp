#include <algorithm>
#include <charconv>
#include <cstdint>
#include <optional>

#include "updater/BuildConfig.h"
#include "updater/Updater.h"

namespace fernpad::updater {
namespace {

std::string_view Trim(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// A non-empty run of decimal digits that fits in 32 bits.
std::optional<std::uint32_t> Number(std::string_view text) {
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Every part between the dots is a number.
bool AllNumbers(std::string_view version, std::size_t& parts) {
  parts = 0;
  while (true) {
    const auto dot = version.find('.');
    if (!Number(version.substr(0, dot))) return false;
    ++parts;
    if (dot == std::string_view::npos) return true;
    version.remove_prefix(dot + 1);
  }
}

}  // namespace

std::string GetInstalledVersion() {
  return build::kInstalledVersion;
}

bool IsNewer(std::string_view installed, std::string_view offered) {
  std::string_view cur = Trim(installed);
  std::string_view neu = Trim(offered);
  std::size_t curParts = 0, newParts = 0;
  if (!AllNumbers(cur, curParts) || !AllNumbers(neu, newParts) || curParts != newParts) return false;

  // The first three parts decide in turn; a part only counts while no earlier one was higher already.
  bool newer = false;
  for (int round = 0; round < 3; ++round) {
    const auto curDot = cur.find('.');
    const auto newDot = neu.find('.');
    if (curDot == std::string_view::npos || newDot == std::string_view::npos) continue;
    const std::uint32_t a = *Number(cur.substr(0, curDot));
    const std::uint32_t b = *Number(neu.substr(0, newDot));
    if (!newer && a > b) return false;
    if (a < b) newer = true;
    cur.remove_prefix(curDot + 1);
    neu.remove_prefix(newDot + 1);
  }
  if (newer) return true;
  // What is left is the last part (more than four parts leave a dotted rest, which is no number).
  const auto a = Number(cur);
  const auto b = Number(neu);
  return a && b && *a < *b;
}

}  // namespace fernpad::updater
