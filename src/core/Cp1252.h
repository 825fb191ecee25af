#pragma once

#include <string>
#include <string_view>

namespace fernpad {

// The Windows-1252 bytes of the handheld's texts as UTF-8, for showing them on the desktop and for naming
// files. Bytes the code page leaves undefined become U+FFFD.
std::string Cp1252ToUtf8(std::string_view bytes);

// A UTF-8 text (a browser's) as Windows-1252 bytes for the typing path. Characters the code page has no
// byte for, the control characters (keys of their own) and malformed sequences are left out.
std::string Utf8ToCp1252(std::string_view text);

}  // namespace fernpad
