#include "input/Keyboard.h"

#include "core/Log.h"

#include <initializer_list>
#include <optional>
#include <utility>

namespace fernpad {
namespace {

using Range = std::pair<int, int>;

std::bitset<256> Codes(std::initializer_list<Range> ranges) {
  std::bitset<256> set;
  for (auto [first, last] : ranges)
    for (int c = first; c <= last; ++c) set.set(static_cast<std::size_t>(c));
  return set;
}

// Shift sets of the layouts, ranges inclusive, Windows-1252 codes.
const std::bitset<256> kUsShift = Codes({{0x21, 0x26},
                                         {0x28, 0x2B},
                                         {0x3A, 0x3A},
                                         {0x3C, 0x3C},
                                         {0x3E, 0x5A},
                                         {0x5E, 0x5F},
                                         {0x7B, 0x7E},
                                         {0xA3, 0xA3}});
const std::bitset<256> kUkShift = Codes({{0x21, 0x22},
                                         {0x24, 0x26},
                                         {0x28, 0x2B},
                                         {0x3A, 0x3A},
                                         {0x3C, 0x3C},
                                         {0x3E, 0x5A},
                                         {0x5E, 0x5F},
                                         {0x7B, 0x7E},
                                         {0xA3, 0xA3}});
const std::bitset<256> kGermanShift =
    Codes({{0x21, 0x22}, {0x24, 0x2A}, {0x2F, 0x2F}, {0x3A, 0x3B}, {0x3D, 0x3F}, {0x41, 0x5A}, {0x5F, 0x5F}});
const std::bitset<256> kGermanAltGr = Codes({{0x40, 0x40}, {0x5B, 0x5D}, {0x7B, 0x7E}, {0x80, 0x80}});
const std::bitset<256> kNordicShift = Codes({{0x21, 0x23},
                                             {0x25, 0x26},
                                             {0x28, 0x2A},
                                             {0x2F, 0x2F},
                                             {0x3A, 0x3B},
                                             {0x3D, 0x3F},
                                             {0x41, 0x5A},
                                             {0x5E, 0x5F}});
const std::bitset<256> kFinnishAltGr =
    Codes({{0x24, 0x24}, {0x40, 0x40}, {0x5B, 0x5D}, {0x7B, 0x7E}, {0x80, 0x80}, {0xA3, 0xA3}});
const std::bitset<256> kNorwegianAltGr = Codes({{0x24, 0x24},
                                                {0x40, 0x40},
                                                {0x5B, 0x5B},
                                                {0x5D, 0x5D},
                                                {0x7B, 0x7B},
                                                {0x7D, 0x7E},
                                                {0x80, 0x80},
                                                {0xA3, 0xA3}});
const std::bitset<256> kNorthAmericaShift =
    Codes({{0x21, 0x26}, {0x28, 0x2B}, {0x3A, 0x3A}, {0x3C, 0x3C}, {0x3E, 0x5A}, {0x5E, 0x5F}, {0x7B, 0x7E}});
const std::bitset<256> kEuro = Codes({{0x80, 0x80}});

const KeyRuleSet kUs{kUsShift, {}};
const KeyRuleSet kUk{kUkShift, kEuro};
const KeyRuleSet kUsInternational{kUsShift, kEuro};
const KeyRuleSet kGerman{kGermanShift, kGermanAltGr};
const KeyRuleSet kFinnish{kNordicShift, kFinnishAltGr};
const KeyRuleSet kNorwegian{kNordicShift, kNorwegianAltGr};
const KeyRuleSet kNorthAmerica{kNorthAmericaShift, {}};
const KeyRuleSet kBritain{kUkShift, {}};
const KeyRuleSet kLettersOnly{Codes({{0x41, 0x5A}}), {}, false};

struct Rewrite {
  std::uint16_t key;
  bool withControl;
};

// What a media key becomes while the player is in front: its own hotkeys.
std::optional<Rewrite> PlayerHotkey(std::uint8_t b) {
  switch (b) {
    case vk::kVolumeMute:
      return Rewrite{0x4D, false};  // M
    case vk::kVolumeDown:
      return Rewrite{vk::kDown, true};
    case vk::kVolumeUp:
      return Rewrite{vk::kUp, true};
    case vk::kMediaNextTrack:
      return Rewrite{0x4E, false};  // N
    case vk::kMediaPrevTrack:
      return Rewrite{0x50, false};  // P
    case vk::kMediaStop:
      return Rewrite{0x53, false};  // S
    case vk::kMediaPlayPause:
      return Rewrite{vk::kSpace, false};
    default:
      return std::nullopt;
  }
}

constexpr std::string_view kPlayerTitle = "VLC media player";

// The data bytes of a key payload: everything after "v=" and its separator.
// The data of a payload, at most limit bytes of it: the rest is dropped, and said so in the log.
std::string_view Data(std::string_view payload, std::size_t limit) {
  std::string_view data = payload.size() > 3 ? payload.substr(3) : "";
  if (data.size() > limit) {
    log::Verbose("keyboard: ", data.size(), " bytes of key data, only the first ", limit, " are used");
    data = data.substr(0, limit);
  }
  return data;
}

}  // namespace

const KeyRuleSet& RuleSetFor(std::string_view layoutName, int countryCode) {
  if (layoutName == "00000409") return kUs;
  if (layoutName == "00000809") return kUk;
  if (layoutName == "00020409") return kUsInternational;
  if (layoutName == "00000407") return kGerman;
  if (layoutName == "0000040B") return kFinnish;
  if (layoutName == "00000414") return kNorwegian;
  if (countryCode == 1 || countryCode == 2) return kNorthAmerica;
  if (countryCode == 44) return kBritain;
  // Kept from the tables the handheld's users know; no locale reports 490, so this never applies and
  // Germany (49) with an unlisted layout gets the last-resort set.
  if (countryCode == 490) return kGerman;
  return kLettersOnly;
}

Keyboard::Keyboard(Platform& platform, Ui& ui, std::string layoutName, int countryCode)
    : platform_(platform),
      ui_(ui),
      layoutName_(std::move(layoutName)),
      countryCode_(countryCode),
      rules_(RuleSetFor(layoutName_, countryCode_)) {}

bool Keyboard::PlayerInFront() {
  return platform_.ForegroundWindowTitle().find(kPlayerTitle) != std::string::npos;
}

void Keyboard::SendKeyDown(std::string_view payload) {
  // The handheld sends a bare "v=" for Backspace.
  const std::string_view data = payload.size() == 2 ? std::string_view("\x08", 1) : Data(payload, kMaxKeys);
  for (const char ch : data) {
    const auto b = static_cast<std::uint8_t>(ch);
    const auto hotkey = PlayerHotkey(b);
    if (hotkey && PlayerInFront()) {
      if (hotkey->withControl) Key(vk::kControl, false);
      Key(hotkey->key, false);
      mediaPressed_[b] |= kRewritten;
      continue;
    }
    Key(b, false);
    if (hotkey) mediaPressed_[b] |= kPlain;
  }
}

void Keyboard::SendKeyUp(std::string_view payload) {
  const std::string_view data = payload.size() == 2 ? std::string_view("\x08", 1) : Data(payload, kMaxKeys);
  for (const char ch : data) {
    const auto b = static_cast<std::uint8_t>(ch);
    const auto hotkey = PlayerHotkey(b);
    if (!hotkey) {
      Key(b, true);
      continue;
    }
    // A media key is released the way it went down, so that a window change while it is held leaves no
    // key (Ctrl above all) stuck. A release without a known press asks the window in front again.
    std::uint8_t form = std::exchange(mediaPressed_[b], 0);
    if (form == 0) form = PlayerInFront() ? kRewritten : kPlain;
    if (form & kRewritten) {
      if (hotkey->withControl) Key(vk::kControl, true);
      Key(hotkey->key, true);
    }
    if (form & kPlain) Key(b, true);
  }
}

void Keyboard::TypeText(std::string_view payload) {
  TypeText(payload, nullptr);
}

void Keyboard::TypeText(std::string_view payload, input::InputMutex& lock) {
  TypeText(payload, &lock);
}

void Keyboard::TypeText(std::string_view payload, input::InputMutex* lock) {
  std::string text(payload);
  if (text.size() == 2) text += " \x08";
  // The handheld spells the euro sign and one other character in hex; the other one is not typed.
  if (text == "v=  AC") {
    text = "v= \x80";
  } else if (text == "v=  22") {
    text = "v= ";
  }
  for (const char ch : Data(text, kMaxTypedText)) {
    std::unique_lock<input::InputMutex> held;
    if (lock) held = std::unique_lock(*lock);
    TypeCharacter(static_cast<std::uint8_t>(ch));
  }
}

void Keyboard::TypeCharacter(std::uint8_t c) {
  const std::int16_t scan = platform_.VkKeyScan(c);
  const auto key = static_cast<std::uint16_t>(scan % 256);  // -1 stays -1: 0xFFFF
  ui_.SetLastVirtualKey(c);

  bool shift = rules_.shift.test(c);
  bool altGr = rules_.altGr.test(c);
  if (!shift && !altGr && scan != -1) {
    // The tables name only some characters of each layout; for the others the layout's own answer is
    // the only one there is (the upper-case umlauts, the shifted digits of AZERTY, ...).
    const int state = (scan >> 8) & 0xFF;
    shift = (state & 1) != 0;
    altGr = (state & 6) == 6;
  }

  platform_.BeginTypedCharacter(c);
  if (shift) Key(vk::kShift, false);
  if (altGr) {
    Key(vk::kMenu, false);
    Key(vk::kControl, false);
  }
  Key(key, false);
  Key(key, true);
  if (altGr) {
    Key(vk::kControl, true);
    Key(vk::kMenu, true);
  }
  if (shift) Key(vk::kShift, true);
  platform_.EndTypedCharacter();
}

}  // namespace fernpad
