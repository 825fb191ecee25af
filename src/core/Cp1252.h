#pragma once

#include <string>
#include <string_view>

namespace fernpad {

// The Windows-1252 bytes of the handheld's texts as UTF-8, for showing them on the desktop and for naming
// files. Bytes the code page leaves undefined become U+FFFD.
std::string Cp1252ToUtf8(std::string_view bytes);

}  // namespace fernpad
