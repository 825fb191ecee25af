#include "upload/FileNames.h"

#include <algorithm>
#include <array>
#include <string>

#include "core/Cp1252.h"

namespace fernpad::upload {
namespace {

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows reserves these names, with any extension and with blanks before it, in every folder.
bool IsReservedDeviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  std::transform(base.begin(), base.end(), base.begin(), Upper);
  static constexpr std::array<std::string_view, 4> kPlain{"CON", "PRN", "AUX", "NUL"};
  if (std::find(kPlain.begin(), kPlain.end(), base) != kPlain.end()) return true;
  if (base.size() != 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0)) return false;
  const unsigned char digit = static_cast<unsigned char>(base[3]);
  // Superscript one, two and three in Windows-1252 count as digits here too.
  return (digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

}  // namespace

const char* FileNameRefusal(std::string_view name, NameRules rules) {
  if (name.empty()) return "the name is empty";
  if (name == "." || name == "..") return "the name is a folder step";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || c == ':') return "the name contains a path separator or drive part";
    if (byte < 0x20 || byte == 0x7F) return "the name contains a control character";
    if (rules == NameRules::Windows && std::string_view("<>\"|?*").find(c) != std::string_view::npos) {
      return "the name contains a character Windows does not allow";
    }
  }
  if (Cp1252ToUtf8(name).size() > kMaxFileNameBytes) return "the name is too long";
  if (rules == NameRules::Windows) {
    if (name.back() == '.' || name.back() == ' ') return "the name ends in a dot or blank";
    if (IsReservedDeviceName(name)) return "the name is a reserved device name";
  }
  return nullptr;
}

}  // namespace fernpad::upload
