#pragma once

#include <windows.h>

#include <algorithm>
#include <string>

namespace fernpad {

// UTF-8 text as the wide text of the Windows API; invalid sequences become U+FFFD.
inline std::wstring Widen(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(length, 0)), L'\0');
  if (length > 0)
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

}  // namespace fernpad
