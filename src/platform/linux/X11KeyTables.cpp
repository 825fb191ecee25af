#include "platform/linux/X11KeyTables.h"

#include <X11/XF86keysym.h>
#define XK_PUBLISHING  // the typographic keysyms of Windows-1252 0x80..0x9F
#define XK_TECHNICAL   // XK_function (the florin sign)
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <cstdio>

namespace fernpad::x11keys {
namespace {

struct KeysymVk {
  std::uint16_t vk;
  Sym keysym;
};

// Keys found by their keysym. The order matters for the reverse look-up: the first entry of a keysym wins.
constexpr KeysymVk kKeysymVks[] = {
    {0x03, XK_Cancel},
    {0x08, XK_BackSpace},
    {0x09, XK_Tab},
    {0x0C, XK_Clear},
    {0x0D, XK_Return},
    {0x13, XK_Pause},
    {0x14, XK_Caps_Lock},
    {0x19, XK_Kanji},
    {0x1B, XK_Escape},
    {0x1C, XK_Henkan},
    {0x1D, XK_Muhenkan},
    {0x20, XK_space},
    {0x21, XK_Prior},
    {0x22, XK_Next},
    {0x23, XK_End},
    {0x24, XK_Home},
    {0x25, XK_Left},
    {0x26, XK_Up},
    {0x27, XK_Right},
    {0x28, XK_Down},
    {0x29, XK_Select},
    {0x2C, XK_Print},  // VK_SNAPSHOT, the Print Screen key, before VK_PRINT
    {0x2A, XK_Print},
    {0x2B, XK_Execute},
    {0x2D, XK_Insert},
    {0x2E, XK_Delete},
    {0x2F, XK_Help},
    {0x5F, XF86XK_Sleep},
    {0x60, XK_KP_0},
    {0x61, XK_KP_1},
    {0x62, XK_KP_2},
    {0x63, XK_KP_3},
    {0x64, XK_KP_4},
    {0x65, XK_KP_5},
    {0x66, XK_KP_6},
    {0x67, XK_KP_7},
    {0x68, XK_KP_8},
    {0x69, XK_KP_9},
    {0x6A, XK_KP_Multiply},
    {0x6B, XK_KP_Add},
    {0x6C, XK_KP_Separator},
    {0x6D, XK_KP_Subtract},
    {0x6E, XK_KP_Decimal},
    {0x6F, XK_KP_Divide},
    {0x90, XK_Num_Lock},
    {0x91, XK_Scroll_Lock},
    {0xA6, XF86XK_Back},
    {0xA7, XF86XK_Forward},
    {0xA8, XF86XK_Refresh},
    {0xA9, XF86XK_Stop},
    {0xAA, XF86XK_Search},
    {0xAB, XF86XK_Favorites},
    {0xAC, XF86XK_HomePage},
    {0xAD, XF86XK_AudioMute},
    {0xAE, XF86XK_AudioLowerVolume},
    {0xAF, XF86XK_AudioRaiseVolume},
    {0xB0, XF86XK_AudioNext},
    {0xB1, XF86XK_AudioPrev},
    {0xB2, XF86XK_AudioStop},
    {0xB3, XF86XK_AudioPlay},
    {0xB4, XF86XK_Mail},
    {0xB5, XF86XK_AudioMedia},
    {0xB6, XF86XK_MyComputer},
    {0xB7, XF86XK_Calculator},
};

struct PositionVk {
  std::uint16_t vk;
  std::string_view position;
  Sym keysym;  // what the key carries on a US keyboard
};

// Keys found by where they sit. Windows names the punctuation keys after their place on a US keyboard
// and distinguishes left and right modifiers, so both are looked up by XKB key name.
constexpr PositionVk kPositionVks[] = {
    {0x10, "LFSH", XK_Shift_L},      {0x11, "LCTL", XK_Control_L},   {0x12, "LALT", XK_Alt_L},
    {0x5B, "LWIN", XK_Super_L},      {0x5C, "RWIN", XK_Super_R},     {0x5D, "COMP", XK_Menu},
    {0xA0, "LFSH", XK_Shift_L},      {0xA1, "RTSH", XK_Shift_R},     {0xA2, "LCTL", XK_Control_L},
    {0xA3, "RCTL", XK_Control_R},    {0xA4, "LALT", XK_Alt_L},       {0xA5, "RALT", XK_Alt_R},
    {0xBA, "AC10", XK_semicolon},    {0xBB, "AE12", XK_equal},       {0xBC, "AB08", XK_comma},
    {0xBD, "AE11", XK_minus},        {0xBE, "AB09", XK_period},      {0xBF, "AB10", XK_slash},
    {0xC0, "TLDE", XK_grave},        {0xDB, "AD11", XK_bracketleft}, {0xDC, "BKSL", XK_backslash},
    {0xDD, "AD12", XK_bracketright}, {0xDE, "AC11", XK_apostrophe},  {0xE2, "LSGT", XK_less},
};

// US QWERTY places of the letters A..Z and the digits 0..9, for layouts without Latin letters.
constexpr std::array<std::string_view, 26> kLetterPositions = {
    "AC01", "AB05", "AB03", "AC03", "AD03", "AC04", "AC05", "AC06", "AD08", "AC07", "AC08", "AC09", "AB07",
    "AB06", "AD09", "AD10", "AD01", "AD04", "AC02", "AD05", "AD07", "AB04", "AD02", "AB02", "AD06", "AB01"};
constexpr std::array<std::string_view, 10> kDigitPositions = {"AE10", "AE01", "AE02", "AE03", "AE04",
                                                              "AE05", "AE06", "AE07", "AE08", "AE09"};

// Windows-1252 0x80..0x9F as Unicode (0: undefined) and the legacy keysym X layouts use for it (0: none).
struct HighChar {
  char32_t unicode;
  Sym legacy;
};
constexpr std::array<HighChar, 32> kHigh = {{
    {0x20AC, XK_EuroSign},
    {0, 0},
    {0x201A, XK_singlelowquotemark},
    {0x0192, XK_function},
    {0x201E, XK_doublelowquotemark},
    {0x2026, XK_ellipsis},
    {0x2020, XK_dagger},
    {0x2021, XK_doubledagger},
    {0x02C6, 0},
    {0x2030, XK_permille},
    {0x0160, XK_Scaron},
    {0x2039, 0},
    {0x0152, XK_OE},
    {0, 0},
    {0x017D, XK_Zcaron},
    {0, 0},
    {0, 0},
    {0x2018, XK_leftsinglequotemark},
    {0x2019, XK_rightsinglequotemark},
    {0x201C, XK_leftdoublequotemark},
    {0x201D, XK_rightdoublequotemark},
    {0x2022, XK_enfilledcircbullet},
    {0x2013, XK_endash},
    {0x2014, XK_emdash},
    {0x02DC, 0},
    {0x2122, XK_trademark},
    {0x0161, XK_scaron},
    {0x203A, 0},
    {0x0153, XK_oe},
    {0, 0},
    {0x017E, XK_zcaron},
    {0x0178, XK_Ydiaeresis},
}};

struct LayoutId {
  std::string_view layout;
  std::string_view variant;  // empty: the layout's own entry
  std::string_view id;
};

// XKB layouts (xkeyboard-config names) and the Windows layout identifiers of the same keyboards.
constexpr LayoutId kLayoutIds[] = {
    {"us", "", "00000409"},          {"us", "intl", "00020409"},       {"us", "alt-intl", "00020409"},
    {"us", "dvorak", "00010409"},    {"us", "dvorak-l", "00030409"},   {"us", "dvorak-r", "00040409"},
    {"us", "colemak", "00000409"},   {"gb", "", "00000809"},           {"gb", "extd", "00000452"},
    {"ie", "", "00001809"},          {"de", "", "00000407"},           {"at", "", "00000C07"},
    {"ch", "", "00000807"},          {"ch", "fr", "0000100C"},         {"ch", "fr_nodeadkeys", "0000100C"},
    {"ch", "fr_mac", "0000100C"},    {"fr", "", "0000040C"},           {"fr", "bepo", "0002040C"},
    {"fr", "afnor", "0001040C"},     {"be", "", "0000080C"},           {"ca", "", "00001009"},
    {"ca", "fr-legacy", "00000C0C"}, {"ca", "multix", "00011009"},     {"ca", "eng", "00000409"},
    {"es", "", "0000040A"},          {"latam", "", "0000080A"},        {"it", "", "00000410"},
    {"it", "ibm", "00010410"},       {"pt", "", "00000816"},           {"br", "", "00010416"},
    {"nl", "", "00000413"},          {"dk", "", "00000406"},           {"no", "", "00000414"},
    {"se", "", "0000041D"},          {"fi", "", "0000040B"},           {"is", "", "0000040F"},
    {"fo", "", "00000438"},          {"ee", "", "00000425"},           {"lv", "", "00000426"},
    {"lt", "", "00010427"},          {"lt", "ibm", "00000427"},        {"lt", "std", "00020427"},
    {"pl", "", "00000415"},          {"cz", "", "00000405"},           {"cz", "qwerty", "00010405"},
    {"sk", "", "0000041B"},          {"sk", "qwerty", "0001041B"},     {"hu", "", "0000040E"},
    {"si", "", "00000424"},          {"hr", "", "0000041A"},           {"ba", "", "0000141A"},
    {"rs", "", "00000C1A"},          {"rs", "latin", "0000081A"},      {"me", "", "0000081A"},
    {"mk", "", "0001042F"},          {"ro", "", "00010418"},           {"ro", "winkeys", "00000418"},
    {"bg", "", "00030402"},          {"bg", "phonetic", "00020402"},   {"al", "", "0000041C"},
    {"gr", "", "00000408"},          {"tr", "", "0000041F"},           {"tr", "f", "0001041F"},
    {"ru", "", "00000419"},          {"ru", "typewriter", "00010419"}, {"ua", "", "00000422"},
    {"by", "", "00000423"},          {"kz", "", "0000043F"},           {"ge", "", "00000437"},
    {"am", "", "0000042B"},          {"az", "", "0000042C"},           {"il", "", "0000040D"},
    {"ara", "", "00000401"},         {"ir", "", "00000429"},           {"pk", "", "00000420"},
    {"in", "", "00004009"},          {"in", "eng", "00004009"},        {"th", "", "0000041E"},
    {"vn", "", "0000042A"},          {"jp", "", "00000411"},           {"kr", "", "00000412"},
    {"cn", "", "00000804"},          {"tw", "", "00000404"},           {"mt", "", "0000043A"},
    {"epo", "", "00000000"},
};

}  // namespace

VkMeaning MeaningOfVk(std::uint16_t vk) {
  if (vk >= '0' && vk <= '9') return {VkKind::kCharacter, Sym(vk), kDigitPositions[vk - '0']};
  if (vk >= 'A' && vk <= 'Z') return {VkKind::kCharacter, Sym(vk - 'A' + 'a'), kLetterPositions[vk - 'A']};
  if (vk >= 0x70 && vk <= 0x87) return {VkKind::kKeysym, Sym(XK_F1 + (vk - 0x70)), {}};
  for (const auto& e : kPositionVks)
    if (e.vk == vk) return {VkKind::kPosition, e.keysym, e.position};
  for (const auto& e : kKeysymVks)
    if (e.vk == vk) return {VkKind::kKeysym, e.keysym, {}};
  return {};
}

std::uint16_t VkAtPosition(std::string_view keyName) {
  for (std::size_t i = 0; i < kLetterPositions.size(); ++i)
    if (kLetterPositions[i] == keyName) return static_cast<std::uint16_t>('A' + i);
  for (std::size_t i = 0; i < kDigitPositions.size(); ++i)
    if (kDigitPositions[i] == keyName) return static_cast<std::uint16_t>('0' + i);
  if (keyName == "SPCE") return 0x20;
  for (const auto& e : kPositionVks)
    if (e.position == keyName) return e.vk;
  return 0;
}

std::uint16_t VkForKeysym(Sym keysym) {
  if (keysym >= XK_F1 && keysym <= XK_F24) return static_cast<std::uint16_t>(0x70 + (keysym - XK_F1));
  for (const auto& e : kKeysymVks)
    if (e.keysym == keysym) return e.vk;
  return 0;
}

char32_t Windows1252ToUnicode(std::uint8_t c) {
  if (c >= 0x80 && c <= 0x9F) return kHigh[c - 0x80].unicode;
  return c;
}

std::optional<std::uint8_t> UnicodeToWindows1252(char32_t u) {
  if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<std::uint8_t>(u);
  for (std::size_t i = 0; i < kHigh.size(); ++i)
    if (kHigh[i].unicode != 0 && kHigh[i].unicode == u) return static_cast<std::uint8_t>(0x80 + i);
  return std::nullopt;
}

std::vector<Sym> KeysymsForCharacter(std::uint8_t c) {
  switch (c) {
    case 0x08:
      return {XK_BackSpace};
    case 0x09:
      return {XK_Tab};
    case 0x0A:
    case 0x0D:
      return {XK_Return};
    case 0x1B:
      return {XK_Escape};
    default:
      break;
  }
  if ((c >= 0x20 && c < 0x7F) || c >= 0xA0) return {Sym(c)};  // Latin-1 keysyms equal their code
  if (c >= 0x80 && c <= 0x9F) {
    const HighChar& h = kHigh[c - 0x80];
    if (h.unicode == 0) return {};
    std::vector<Sym> syms;
    if (h.legacy != 0) syms.push_back(h.legacy);
    syms.push_back(0x1000000 | h.unicode);
    return syms;
  }
  return {};
}

std::string Utf8ToWindows1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    int extra = 0;
    char32_t u = 0;
    if (lead < 0x80) {
      u = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      u = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      u = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      u = lead & 0x07;
    } else {
      out += '?';
      ++i;
      continue;
    }
    const auto count = static_cast<std::size_t>(extra);
    bool valid = i + count < utf8.size();
    std::size_t j = 1;
    for (; valid && j <= count; ++j) {
      const auto next = static_cast<unsigned char>(utf8[i + j]);
      if ((next & 0xC0) != 0x80) {
        valid = false;
        break;
      }
      u = (u << 6) | (next & 0x3F);
    }
    // Overlong forms and surrogates are as invalid as a broken sequence.
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (valid && (u < kMinimum[extra] || (u >= 0xD800 && u <= 0xDFFF) || u > 0x10FFFF)) valid = false;
    if (!valid) {
      out += '?';
      i += std::min(j, utf8.size() - i);  // skip the lead byte and the continuation bytes read
      continue;
    }
    const auto byte = UnicodeToWindows1252(u);
    out += byte ? static_cast<char>(*byte) : '?';
    i += count + 1;
  }
  return out;
}

std::string WindowsLayoutId(std::string_view layout, std::string_view variant) {
  const LayoutId* own = nullptr;
  for (const auto& e : kLayoutIds) {
    if (e.layout != layout) continue;
    if (e.variant == variant) return std::string(e.id);
    if (e.variant.empty()) own = &e;
  }
  return own ? std::string(own->id) : std::string("00000000");
}

}  // namespace fernpad::x11keys
