#pragma once

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace fernpad::upload {

// Which file system's naming rules a received file name must also obey.
enum class NameRules { Posix, Windows };
inline constexpr NameRules kHostNameRules =
    std::filesystem::path::preferred_separator == '\\' ? NameRules::Windows : NameRules::Posix;

// The longest file name, in the file system's bytes (UTF-8), that is accepted.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// Why a file name sent by the handheld (Windows-1252 bytes) cannot name a file in the destination folder,
// or nullptr when it can. Refused everywhere: the empty name, "." and "..", a name containing "/", "\",
// ":", NUL or another control character, and a name longer than kMaxFileNameBytes once converted to UTF-8.
// Refused with the Windows rules as well: the reserved device names (CON, PRN, AUX, NUL, COM0-9, LPT0-9,
// also with an extension), a name ending in a dot or blank, and the characters < > " | ? *.
const char* FileNameRefusal(std::string_view name, NameRules rules = kHostNameRules);

}  // namespace fernpad::upload
