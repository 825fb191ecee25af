#include "platform/linux/wayland/WaylandKeymap.h"

#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>

#include "platform/linux/X11KeyTables.h"

namespace fernpad::wayland {

namespace {

constexpr std::uint32_t kFirstKeycode = 9;  // evdev code 1

std::string KeysymName(Sym sym) {
  char name[64] = {};
  if (xkb_keysym_get_name(sym, name, sizeof name) <= 0) return "NoSymbol";
  return name;
}

// What Shift gives on the US keyboard's key of a first-level keysym (the letters' capitals, the digits'
// and punctuation keys' second signs), so Shift held as a raw key types what it types on that keyboard.
Sym ShiftedOnUsKeyboard(Sym sym) {
  static constexpr struct {
    Sym base, shifted;
  } kPairs[] = {
      {XKB_KEY_1, XKB_KEY_exclam},
      {XKB_KEY_2, XKB_KEY_at},
      {XKB_KEY_3, XKB_KEY_numbersign},
      {XKB_KEY_4, XKB_KEY_dollar},
      {XKB_KEY_5, XKB_KEY_percent},
      {XKB_KEY_6, XKB_KEY_asciicircum},
      {XKB_KEY_7, XKB_KEY_ampersand},
      {XKB_KEY_8, XKB_KEY_asterisk},
      {XKB_KEY_9, XKB_KEY_parenleft},
      {XKB_KEY_0, XKB_KEY_parenright},
      {XKB_KEY_minus, XKB_KEY_underscore},
      {XKB_KEY_equal, XKB_KEY_plus},
      {XKB_KEY_bracketleft, XKB_KEY_braceleft},
      {XKB_KEY_bracketright, XKB_KEY_braceright},
      {XKB_KEY_backslash, XKB_KEY_bar},
      {XKB_KEY_semicolon, XKB_KEY_colon},
      {XKB_KEY_apostrophe, XKB_KEY_quotedbl},
      {XKB_KEY_grave, XKB_KEY_asciitilde},
      {XKB_KEY_comma, XKB_KEY_less},
      {XKB_KEY_period, XKB_KEY_greater},
      {XKB_KEY_slash, XKB_KEY_question},
  };
  if (sym >= XKB_KEY_a && sym <= XKB_KEY_z) return sym - XKB_KEY_a + XKB_KEY_A;
  for (const auto& p : kPairs)
    if (p.base == sym) return p.shifted;
  return 0;
}

}  // namespace

WaylandKeymap::WaylandKeymap() {
  for (unsigned vk = 1; vk < 256; ++vk) {
    const auto meaning = x11keys::MeaningOfVk(static_cast<std::uint16_t>(vk));
    if (meaning.kind == x11keys::VkKind::kNone || meaning.keysym == 0) continue;
    const Sym sym = static_cast<Sym>(meaning.keysym);
    auto it = std::find(fixed_.begin(), fixed_.end(), sym);
    if (it == fixed_.end()) it = fixed_.insert(fixed_.end(), sym);
    vkKeysymIndex_[vk] = static_cast<std::uint16_t>(1 + (it - fixed_.begin()));
  }
  const std::size_t spareCount = kMaxKeycode + 1 - kFirstKeycode - fixed_.size();
  spares_.assign(spareCount, 0);
  lastUse_.assign(spareCount, 0);
}

std::uint32_t WaylandKeymap::KeycodeOfVk(std::uint16_t vk) const {
  if (vk >= 256 || vkKeysymIndex_[vk] == 0) return 0;
  return kFirstKeycode + vkKeysymIndex_[vk] - 1;
}

WaylandKeymap::Binding WaylandKeymap::KeycodeForKeysym(Sym sym) {
  const auto fixed = std::find(fixed_.begin(), fixed_.end(), sym);
  if (fixed != fixed_.end())
    return {static_cast<std::uint32_t>(kFirstKeycode + (fixed - fixed_.begin())), false};
  auto spare = std::find(spares_.begin(), spares_.end(), sym);
  bool changed = false;
  if (spare == spares_.end()) {
    spare = spares_.begin() + (std::min_element(lastUse_.begin(), lastUse_.end()) - lastUse_.begin());
    *spare = sym;
    changed = true;
  }
  const std::size_t i = static_cast<std::size_t>(spare - spares_.begin());
  lastUse_[i] = ++uses_;
  return {static_cast<std::uint32_t>(kFirstKeycode + fixed_.size() + i), changed};
}

std::string WaylandKeymap::Text() const {
  std::string keycodes, symbols, modmap;
  const auto add = [&](std::uint32_t keycode, Sym sym, bool withShifted) {
    const std::string key = "<K" + std::to_string(keycode) + ">";
    keycodes += "  " + key + " = " + std::to_string(keycode) + ";\n";
    if (sym == 0) return;
    const std::string name = KeysymName(sym);
    const Sym shifted = withShifted ? ShiftedOnUsKeyboard(sym) : 0;
    symbols += "  key " + key + " { [ " + name + (shifted ? ", " + KeysymName(shifted) : "") + " ] };\n";
    // The modifier keys act as modifiers in the clients' own keyboard state.
    static constexpr struct {
      const char* prefix;
      const char* mod;
    } kMods[] = {{"Shift_", "Shift"}, {"Control_", "Control"}, {"Alt_", "Mod1"},
                 {"Meta_", "Mod1"},   {"Super_", "Mod4"},      {"ISO_Level3_Shift", "Mod5"}};
    for (const auto& m : kMods)
      if (name.rfind(m.prefix, 0) == 0)
        modmap += "  modifier_map " + std::string(m.mod) + " { " + key + " };\n";
  };
  std::uint32_t keycode = kFirstKeycode;
  for (Sym s : fixed_) add(keycode++, s, true);
  for (Sym s : spares_) add(keycode++, s, false);
  return "xkb_keymap {\n"
         "xkb_keycodes \"fernpad\" {\n  minimum = 8;\n  maximum = " +
         std::to_string(kMaxKeycode) + ";\n" + keycodes +
         "};\n"
         "xkb_types \"fernpad\" { include \"complete\" };\n"
         "xkb_compat \"fernpad\" { include \"complete\" };\n"
         "xkb_symbols \"fernpad\" {\n" +
         symbols + modmap + "};\n};\n";
}

int WheelSteps(std::int64_t& remainder, std::int32_t mouseData, int maxSteps) {
  remainder += mouseData;
  std::int64_t clicks = remainder / 120;
  remainder -= clicks * 120;
  clicks = std::clamp<std::int64_t>(clicks, -maxSteps, maxSteps);
  return static_cast<int>(-clicks);  // away from the user is a negative step on a Wayland axis
}

}  // namespace fernpad::wayland
