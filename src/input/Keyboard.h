#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/Ui.h"
#include "input/InputMutex.h"
#include "platform/Platform.h"

namespace fernpad {

// Windows virtual-key codes the keyboard logic itself names.
namespace vk {
inline constexpr std::uint16_t kBack = 0x08;
inline constexpr std::uint16_t kShift = 0x10;
inline constexpr std::uint16_t kControl = 0x11;
inline constexpr std::uint16_t kMenu = 0x12;  // the Alt key
inline constexpr std::uint16_t kSpace = 0x20;
inline constexpr std::uint16_t kUp = 0x26;
inline constexpr std::uint16_t kDown = 0x28;
inline constexpr std::uint16_t kVolumeMute = 0xAD;
inline constexpr std::uint16_t kVolumeDown = 0xAE;
inline constexpr std::uint16_t kVolumeUp = 0xAF;
inline constexpr std::uint16_t kMediaNextTrack = 0xB0;
inline constexpr std::uint16_t kMediaPrevTrack = 0xB1;
inline constexpr std::uint16_t kMediaStop = 0xB2;
inline constexpr std::uint16_t kMediaPlayPause = 0xB3;
inline constexpr std::uint16_t kNoKey = 0xFFFF;  // a character the layout has no key for
}  // namespace vk

// Which characters a layout types with Shift and which with AltGr.
struct KeyRuleSet {
  std::bitset<256> shift;
  std::bitset<256> altGr;
  // False for the last-resort set, which only knows the upper-case letters.
  bool knowsLayout = true;
};

// The rule set for a layout: the first layout-name match, else by country code.
const KeyRuleSet& RuleSetFor(std::string_view layoutName, int countryCode);

// Turns the handheld's key commands into key records. Payloads are the command's fourth parameter as
// received, "v=" included; the data start at the fourth character.
//
// The caller serialises calls (the server's input lock); the object has no lock of its own. Only the typing
// of a text may take that lock itself, one character at a time.
class Keyboard {
 public:
  // layoutName and countryCode are read once at start and kept, whatever the user switches to later.
  Keyboard(Platform& platform, Ui& ui, std::string layoutName, int countryCode);

  // Presses each data byte as a virtual key, in order. Media keys become the player's hotkeys while the
  // player is in front. A bare "v=" presses Backspace.
  void SendKeyDown(std::string_view payload);
  // Releases each data byte as a virtual key, in order; a media key is released the way it was pressed.
  void SendKeyUp(std::string_view payload);
  // Types each data byte as a Windows-1252 character, with Shift and AltGr as the layout needs.
  // "v=" types a Backspace; "v=  AC" types the euro sign; "v=  22" types nothing.
  void TypeText(std::string_view payload);
  // The same, holding lock for each character and letting go of it between them, so a long text does not
  // hold up everybody else's moves (the characters of one text still go out in order).
  void TypeText(std::string_view payload, input::InputMutex& lock);

  // What one command may carry: longer data are cut (and the cut is logged).
  static constexpr std::size_t kMaxTypedText = 4096;
  static constexpr std::size_t kMaxKeys = 256;

  const std::string& LayoutName() const { return layoutName_; }
  int CountryCode() const { return countryCode_; }

 private:
  enum PressedForm : std::uint8_t { kPlain = 1, kRewritten = 2 };
  void TypeText(std::string_view payload, input::InputMutex* lock);
  void TypeCharacter(std::uint8_t c);
  bool PlayerInFront();
  void Key(std::uint16_t code, bool up) { platform_.SendKeyInput(code, up); }

  Platform& platform_;
  Ui& ui_;
  std::string layoutName_;
  int countryCode_;
  const KeyRuleSet& rules_;
  // How each media key now held was pressed, so that its release matches its press.
  std::array<std::uint8_t, 256> mediaPressed_{};
};

}  // namespace fernpad
