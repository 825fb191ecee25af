#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace fernpad {

// The X11 keyboard services behind the platform's key methods: key records injected with XTest, the
// layout's answer for "which key types this character", the layout's Windows identifier and the title of
// the active window.
//
// Virtual keys are mapped by what they mean on the active layout: letters and digits to the key that
// produces that character, the punctuation (OEM) keys and the modifiers to the key at their place on the
// keyboard, everything else (navigation, function, numpad, media, volume) to the key carrying its keysym.
// A keysym the keymap lacks is typed through a spare keycode bound to it on demand.
//
// Windows treats Ctrl+Alt as AltGr, X does not. Between BeginTypedCharacter and EndTypedCharacter the
// records type one character of text: Shift and Ctrl+Alt then select that character's level (Ctrl+Alt
// becomes the layout's ISO_Level3_Shift), and if the records would not produce the character on this
// layout (a dead key, a level the layout puts elsewhere, no key at all) the character is typed through its
// own keysym instead. Outside that bracket every record is a raw key: Ctrl and Alt stay Ctrl and Alt.
//
// Not thread-safe: the owner serialises every call (and owns the display, which must outlive this object).
// Every method returns after the X server has processed what it sent (XSync).
class X11Keyboard {
 public:
  // Throws std::runtime_error when the display lacks the XKEYBOARD or XTEST extension.
  explicit X11Keyboard(Display* display);
  // Releases the keys it still holds and gives its spare keycodes their empty mapping back.
  ~X11Keyboard();
  X11Keyboard(const X11Keyboard&) = delete;
  X11Keyboard& operator=(const X11Keyboard&) = delete;

  // Presses or releases the key of a Windows virtual-key code. Codes without meaning on X (0xFFFF outside
  // a typed character, reserved codes) are ignored.
  void SendKey(std::uint16_t vk, bool keyUp);

  // The key typing the Windows-1252 character c on the active layout and group: the virtual-key code in
  // the low byte, the shift state in the high byte (1 Shift, 2 Ctrl, 4 Alt; AltGr is 6), -1 when no key
  // of the layout produces the character (dead keys do not count: they produce nothing on their own).
  std::int16_t VkKeyScan(std::uint8_t c);

  // The Windows layout identifier of the active layout and group ("00000407"); "00000000" when Windows
  // has no counterpart or the layout cannot be read.
  std::string LayoutName();

  // The title of the window the window manager announces as active (_NET_ACTIVE_WINDOW), in
  // Windows-1252 (characters outside it become '?'), at most 999 bytes; empty when there is none.
  std::string ForegroundWindowTitle();

  // Brackets the records that type the Windows-1252 character c (see the class comment).
  void BeginTypedCharacter(std::uint8_t c);
  void EndTypedCharacter();

 private:
  struct Stroke {
    KeyCode key = 0;
    std::vector<KeyCode> modifiers;  // pressed in order before the key, released in reverse after it
  };
  struct Placement {
    KeyCode key = 0;
    bool shift = false;
    bool level3 = false;
  };
  struct XkbFree {
    void operator()(XkbDescPtr desc) const;
  };

  void PumpEvents(bool readSocket);
  void Refresh();
  void EnsureCurrent(bool readSocket);
  KeySym Translate(KeyCode key, unsigned mods) const;
  std::optional<Placement> PlacementOf(KeySym sym) const;
  KeyCode KeyNamed(const std::string& name) const;
  std::uint16_t VkOfKeycode(KeyCode key) const;
  KeyCode KeycodeOfVk(std::uint16_t vk, bool mayBind);
  KeyCode BindSpare(KeySym sym);
  Stroke PlanTypedKey(std::uint16_t vk);
  Stroke StrokeFor(const Placement& p) const;
  void Press(const Stroke& s);
  void Release(const Stroke& s);
  void Fake(KeyCode key, bool down);

  Display* dpy_;
  int xkbEvent_ = 0;
  std::unique_ptr<XkbDescRec, XkbFree> xkb_;
  bool stale_ = true;
  unsigned group_ = 0;
  unsigned lockedMods_ = 0;

  // Derived from the keymap and the group.
  std::map<std::string, KeyCode> keyByName_;
  std::unordered_map<KeySym, Placement> placements_;
  KeyCode shiftKey_ = 0;
  KeyCode level3Key_ = 0;
  unsigned level3Mask_ = 0;

  // Keycodes without symbols, least recently bound first, and what this object bound them to.
  std::vector<KeyCode> spares_;
  std::map<KeyCode, KeySym> bound_;

  // Raw keys held down: virtual-key code -> keycode pressed for it.
  std::map<std::uint16_t, KeyCode> held_;

  // The character being typed, the modifier records seen for it and the stroke of its key.
  std::optional<std::uint8_t> typing_;
  bool recShift_ = false, recControl_ = false, recAlt_ = false;
  std::optional<Stroke> typedStroke_;
  std::uint16_t typedVk_ = 0;
};

}  // namespace fernpad
