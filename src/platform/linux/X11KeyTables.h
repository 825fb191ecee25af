#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Fixed facts the X keyboard backend needs: what a Windows virtual-key code means on an X keyboard, how
// Windows-1252 bytes relate to Unicode and to keysyms, and which Windows layout identifier an XKB layout
// corresponds to. No X connection is needed for any of it.
namespace fernpad::x11keys {

// Keysym values are plain numbers here so that this header needs no X header.
using Sym = unsigned long;

// How a virtual-key code is found on the X keyboard.
enum class VkKind {
  kNone,       // no meaning on X (undefined, reserved, mouse buttons, IME keys)
  kCharacter,  // letters and digits: the key that produces this character on the active layout
  kPosition,   // OEM punctuation keys and modifiers: the key at this XKB position (key name)
  kKeysym,     // navigation, function, numpad, media: the key carrying this keysym
};

struct VkMeaning {
  VkKind kind = VkKind::kNone;
  Sym keysym = 0;             // Character: the lower-case character's keysym; Keysym: the keysym;
                              // Position: the keysym to look for when the position does not exist
  std::string_view position;  // Position (and Character): XKB key name such as "AD11" or "LFSH"
};

VkMeaning MeaningOfVk(std::uint16_t vk);

// The virtual-key code Windows gives a key at this XKB position on a US keyboard (OEM keys, letters,
// digits, space, modifiers), or 0.
std::uint16_t VkAtPosition(std::string_view keyName);

// The virtual-key code for a key whose first-level keysym is one of the Keysym-kind entries, or 0.
std::uint16_t VkForKeysym(Sym keysym);

// Unicode code point of a Windows-1252 byte; 0 for the five bytes the code page leaves undefined.
char32_t Windows1252ToUnicode(std::uint8_t c);
// The Windows-1252 byte for a code point, if the code page has one.
std::optional<std::uint8_t> UnicodeToWindows1252(char32_t u);

// Keysyms that produce the Windows-1252 character c, the conventional one first (a legacy keysym such
// as EuroSign before its Unicode form 0x10020AC). Control characters typed as keys (Backspace, Tab,
// line feed and carriage return, Escape) give their function keysyms. Empty when c has none.
std::vector<Sym> KeysymsForCharacter(std::uint8_t c);

// Converts UTF-8 text to Windows-1252; characters the code page lacks and invalid sequences become '?'.
std::string Utf8ToWindows1252(std::string_view utf8);

// The Windows layout identifier ("00000407") of an XKB layout and variant ("de", "nodeadkeys"); a variant
// without an entry of its own takes the layout's. "00000000" when Windows has no counterpart.
std::string WindowsLayoutId(std::string_view layout, std::string_view variant);

}  // namespace fernpad::x11keys
