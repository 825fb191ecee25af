#include "platform/linux/X11KeyProperties.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string_view>

namespace fernpad::x11keys {

std::string ReadProperty(Display* dpy, Window w, Atom property, Atom type, int* format) {
  Atom actualType = None;
  int actualFormat = 0;
  unsigned long items = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(dpy, w, property, 0, 1 << 16, False, type, &actualType, &actualFormat, &items,
                         &after, &data) != Success ||
      data == nullptr) {
    return {};
  }
  std::string out;
  if (actualType != None && (type == AnyPropertyType || actualType == type)) {
    const std::size_t unit = actualFormat == 32 ? sizeof(long) : static_cast<std::size_t>(actualFormat) / 8;
    out.assign(reinterpret_cast<const char*>(data), items * unit);
    if (format) *format = actualFormat;
  }
  XFree(data);
  return out;
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const auto comma = text.find(',', start);
    parts.push_back(text.substr(start, comma - start));
    if (comma == std::string::npos) return parts;
    start = comma + 1;
  }
}

std::pair<std::string, std::string> LayoutFromSymbolsName(const std::string& symbols, unsigned group) {
  static constexpr std::string_view kNotLayouts[] = {"pc",        "inet",  "group",  "level3",    "level5",
                                                     "compose",   "ctrl",  "altwin", "capslock",  "terminate",
                                                     "keypad",    "kpdl",  "nbsp",   "shift",     "eurosign",
                                                     "rupeesign", "japan", "korean", "srvr_ctrl", "lv3"};
  std::size_t start = 0;
  while (start <= symbols.size()) {
    auto plus = symbols.find_first_of("+|", start);
    if (plus == std::string::npos) plus = symbols.size();
    std::string part = symbols.substr(start, plus - start);
    start = plus + 1;
    // The first layout has no group suffix, the others carry ":2", ":3", ...
    unsigned partGroup = 0;
    if (const auto colon = part.find(':'); colon != std::string::npos) {
      partGroup = static_cast<unsigned>(std::atoi(part.c_str() + colon + 1) - 1);
      part.resize(colon);
    }
    std::string name = part, variant;
    if (const auto paren = part.find('('); paren != std::string::npos) {
      name = part.substr(0, paren);
      variant = part.substr(paren + 1, part.find(')', paren) - paren - 1);
    }
    if (name.empty() ||
        std::find(std::begin(kNotLayouts), std::end(kNotLayouts), name) != std::end(kNotLayouts)) {
      continue;
    }
    if (partGroup == group) return {name, variant};
  }
  return {};
}

}  // namespace fernpad::x11keys
