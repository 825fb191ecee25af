#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fernpad::web {

// A QR code's modules, size by size, row by row, without the quiet zone around it.
struct QrCode {
  int size = 0;
  std::vector<bool> dark;
  bool Dark(int x, int y) const { return dark[static_cast<std::size_t>(y) * size + x]; }
};

// The text as a QR code (error correction level M, case kept). Nothing when the text does not fit or the
// build has no QR encoder (then the address is shown as text only).
std::optional<QrCode> MakeQrCode(std::string_view text);

// The code for a terminal: two rows of modules per line with the half-block characters of UTF-8, light
// modules and a quiet zone of two modules drawn in the terminal's text colour (light on dark, as terminals
// mostly are; phones read the code either way round).
std::string QrTerminalText(const QrCode& code);

}  // namespace fernpad::web
