#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// A fuzz input read as up to four newline-separated header values; a line the input does not reach is an
// absent header.
struct HeaderLines {
  std::string_view value[4];
  bool present[4] = {};
};

inline HeaderLines SplitHeaderLines(const std::uint8_t* data, std::size_t size) {
  HeaderLines lines;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  for (int i = 0; i < 4 && !rest.empty(); ++i) {
    const auto end = rest.find('\n');
    lines.value[i] = rest.substr(0, end);
    lines.present[i] = true;
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
  }
  return lines;
}
