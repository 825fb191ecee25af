#include "web/QrCode.h"

#include <memory>

#ifdef FERNPAD_HAVE_QRENCODE
#include <qrencode.h>
#endif

namespace fernpad::web {

std::optional<QrCode> MakeQrCode(std::string_view text) {
#ifdef FERNPAD_HAVE_QRENCODE
  const std::string zeroTerminated(text);
  const std::unique_ptr<QRcode, decltype(&QRcode_free)> encoded(
      QRcode_encodeString(zeroTerminated.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
  if (!encoded || encoded->width <= 0) return std::nullopt;
  QrCode code;
  code.size = encoded->width;
  code.dark.resize(static_cast<std::size_t>(code.size) * code.size);
  for (std::size_t i = 0; i < code.dark.size(); ++i) code.dark[i] = (encoded->data[i] & 1) != 0;
  return code;
#else
  (void)text;
  return std::nullopt;
#endif
}

std::string QrTerminalText(const QrCode& code) {
  constexpr int kQuiet = 2;
  const int span = code.size + 2 * kQuiet;
  auto light = [&](int x, int y) {
    x -= kQuiet;
    y -= kQuiet;
    return x < 0 || y < 0 || x >= code.size || y >= code.size || !code.Dark(x, y);
  };
  std::string out;
  for (int y = 0; y < span; y += 2) {
    for (int x = 0; x < span; ++x) {
      const bool top = light(x, y);
      const bool bottom = y + 1 < span && light(x, y + 1);
      out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
    }
    out += '\n';
  }
  return out;
}

}  // namespace fernpad::web
