#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fernpad::web {

// The page's messages are the handheld's commands in a browser's words: a command name, then its values,
// separated by single spaces. Each becomes the parameter list of an HTTP command request, so the command
// handler gives them the very same meaning:
//   "m DX DY"          relative move, accelerated ("a=m")
//   "d", "u"           finger down and up on the touchpad: tap to click, tap and drag ("a=d", "a=u")
//   "dabs FX FY", "mabs FX FY", "uabs"   the presenter dot, FX and FY fractions of the screen
//   "mbl", "mbld", "mblu", "mbm", ... "mbru"   the buttons
//   "scrollm DY"       the wheel, DY notches, positive toward the user
//   "k TEXT"           types TEXT (UTF-8; what Windows-1252 has no byte for is left out)
//   "vkd CODES", "vku CODES"   virtual keys down or up, CODES decimal 1 to 255 joined by ","
//   "ss", "ssPad"      a snapshot of the screen
//   "p"                keeps the connection open, nothing else
// Numbers are plain decimals ("-12.5"): at most 11 characters after an optional "-", a "." at most once, no
// exponent.
// Commands the page has no use for (power-off, the message box, the absolute move) are not reachable.

// The requests one message makes, in order: none for "p" and for a text with nothing to type, usually one,
// two when a text would otherwise read as one of the handheld's spellings of a special character. Nothing
// either for a message that is not one of the above (it is ignored).
std::vector<std::vector<std::string>> MapWebMessage(std::string_view message);

// The longest message the page sends (a typed text is sent in parts no longer than this).
inline constexpr std::size_t kMaxMessage = 4096;

}  // namespace fernpad::web
