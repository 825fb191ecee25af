#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The keymap the Wayland backend uploads with its virtual keyboard. It is the program's own, so the keys
// need not follow any layout: every key the Windows virtual-key codes name has a keycode of its own with
// one keysym, and the characters typed as text are bound on demand to spare keycodes, so any character
// with a keysym types, whatever layout the desktop uses. No connection is needed.
namespace fernpad::wayland {

using Sym = std::uint32_t;

class WaylandKeymap {
 public:
  // The highest keycode used: clients speaking X11 through XWayland see keycodes up to 255 only.
  static constexpr std::uint32_t kMaxKeycode = 255;

  WaylandKeymap();

  // The XKB keycode (evdev code + 8) of a virtual-key code's key; 0 when the code has no key.
  std::uint32_t KeycodeOfVk(std::uint16_t vk) const;

  // The XKB keycode carrying the keysym: a fixed key, or a spare bound to it now (the least recently used
  // spare is taken back when all are bound). `changed` says the keymap text changed and must be sent again
  // before the key is pressed.
  struct Binding {
    std::uint32_t keycode = 0;
    bool changed = false;
  };
  Binding KeycodeForKeysym(Sym sym);

  // The keymap in XKB text form (xkb_keymap { ... }), as wl_keyboard's XKB_V1 format carries it.
  std::string Text() const;

 private:
  std::vector<Sym> fixed_;   // keysym of keycode 9 + i
  std::vector<Sym> spares_;  // keysym bound to keycode 9 + fixed_.size() + i (0: none yet)
  std::vector<std::uint64_t> lastUse_;
  std::uint64_t uses_ = 0;
  std::uint16_t vkKeysymIndex_[256] = {};  // 1 + index into fixed_, 0 when the code has no key
};

// Wheel amounts in mouse records (120 a notch, positive away from the user) into discrete wheel steps of
// a Wayland pointer axis (positive towards the user, as wl_pointer counts them). The fraction left over is
// kept in `remainder` for the next record; at most maxSteps steps come out of one record.
int WheelSteps(std::int64_t& remainder, std::int32_t mouseData, int maxSteps);

}  // namespace fernpad::wayland
