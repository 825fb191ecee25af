#include "platform/linux/X11Keyboard.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <tuple>

#include "platform/linux/X11KeyProperties.h"
#include "platform/linux/X11KeyTables.h"

namespace fernpad {
namespace {

using x11keys::ErrorTrap;
using x11keys::LayoutFromSymbolsName;
using x11keys::ReadProperty;
using x11keys::SplitCommas;
using x11keys::VkKind;

constexpr std::size_t kMaxTitle = 999;

bool IsVk(std::uint16_t vk, std::initializer_list<std::uint16_t> codes) {
  return std::find(codes.begin(), codes.end(), vk) != codes.end();
}

}  // namespace

void X11Keyboard::XkbFree::operator()(XkbDescPtr desc) const {
  XkbFreeKeyboard(desc, XkbAllComponentsMask, True);
}

X11Keyboard::X11Keyboard(Display* display) : dpy_(display) {
  int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
  if (!XkbQueryExtension(dpy_, &opcode, &xkbEvent_, &error, &major, &minor))
    throw std::runtime_error("the X server has no XKEYBOARD extension");
  int eventBase = 0, errorBase = 0;
  if (!XTestQueryExtension(dpy_, &eventBase, &errorBase, &major, &minor))
    throw std::runtime_error("the X server has no XTEST extension");
  // Follow layout changes (setxkbmap, a layout switcher) and the group and lock state without a round trip
  // per key; the events are taken off the shared queue in PumpEvents.
  XkbSelectEvents(dpy_, XkbUseCoreKbd, XkbNewKeyboardNotifyMask | XkbMapNotifyMask,
                  XkbNewKeyboardNotifyMask | XkbMapNotifyMask);
  XkbSelectEventDetails(dpy_, XkbUseCoreKbd, XkbStateNotify, XkbGroupStateMask | XkbModifierLockMask,
                        XkbGroupStateMask | XkbModifierLockMask);
  XkbStateRec state{};
  if (XkbGetState(dpy_, XkbUseCoreKbd, &state) == Success) {
    group_ = state.group;
    lockedMods_ = state.locked_mods;
  }
  Refresh();
}

X11Keyboard::~X11Keyboard() {
  if (typedStroke_) Release(*typedStroke_);
  for (const auto& [vk, key] : held_) Fake(key, false);
  for (const auto& [key, sym] : bound_) {
    KeySym none = NoSymbol;
    XChangeKeyboardMapping(dpy_, key, 1, &none, 1);
  }
  XSync(dpy_, False);
}

void X11Keyboard::PumpEvents(bool readSocket) {
  // Every call ends with XSync, which queues whatever the server sent before it; reading the socket again
  // is only needed where time may have passed since (the start of a character or of a raw key).
  if (readSocket) XEventsQueued(dpy_, QueuedAfterReading);
  if (XQLength(dpy_) == 0) return;
  const auto isKeyboardEvent = [](Display*, XEvent* ev, XPointer self) -> Bool {
    const int xkbEvent = reinterpret_cast<X11Keyboard*>(self)->xkbEvent_;
    return ev->type == xkbEvent || ev->type == MappingNotify;
  };
  XEvent ev;
  while (XCheckIfEvent(dpy_, &ev, isKeyboardEvent, reinterpret_cast<XPointer>(this))) {
    if (ev.type == MappingNotify) {
      XRefreshKeyboardMapping(&ev.xmapping);
      continue;
    }
    const auto& xkbEv = reinterpret_cast<const XkbEvent&>(ev);
    switch (xkbEv.any.xkb_type) {
      case XkbStateNotify:
        if (static_cast<unsigned>(xkbEv.state.group) != group_ || xkbEv.state.locked_mods != lockedMods_)
          placements_.clear();
        group_ = static_cast<unsigned>(xkbEv.state.group);
        lockedMods_ = xkbEv.state.locked_mods;
        break;
      case XkbMapNotify: {
        // Our own spare-key bindings come back as map changes of those keys only; nothing else moved.
        const auto& m = xkbEv.map;
        bool ours =
            (m.changed & ~(XkbKeySymsMask | XkbKeyTypesMask | XkbKeyActionsMask | XkbKeyBehaviorsMask |
                           XkbExplicitComponentsMask | XkbVirtualModMapMask)) == 0 &&
            (m.changed & XkbKeySymsMask) != 0;
        for (int k = m.first_key_sym; ours && k < m.first_key_sym + m.num_key_syms; ++k)
          ours = bound_.count(static_cast<KeyCode>(k)) != 0;
        if (!ours) stale_ = true;
        break;
      }
      default:
        stale_ = true;
        break;
    }
  }
}

void X11Keyboard::EnsureCurrent(bool readSocket) {
  PumpEvents(readSocket);
  if (stale_) Refresh();
  if (!placements_.empty() || !xkb_) return;

  // Which keysym each key produces in this group with none, Shift, AltGr and Shift+AltGr held; the first
  // wins: keys Windows has a code for before the rest (evdev keymaps carry extra keys such as a second
  // "(" key), then fewest modifiers, then lowest keycode.
  const unsigned locks = lockedMods_ & (LockMask | Mod2Mask);
  struct Level {
    bool shift, level3;
  };
  static constexpr Level kLevels[] = {{false, false}, {true, false}, {false, true}, {true, true}};
  std::vector<KeyCode> standard, extra;
  for (int k = xkb_->min_key_code; k <= xkb_->max_key_code; ++k) {
    const auto key = static_cast<KeyCode>(k);
    if (std::find(spares_.begin(), spares_.end(), key) != spares_.end()) continue;
    (VkOfKeycode(key) != 0 ? standard : extra).push_back(key);
  }
  for (const auto* keys : {&standard, &extra}) {
    for (const Level level : kLevels) {
      if (level.level3 && level3Mask_ == 0) continue;
      const unsigned mods = locks | (level.shift ? ShiftMask : 0) | (level.level3 ? level3Mask_ : 0);
      for (const KeyCode key : *keys) {
        const KeySym sym = Translate(key, mods);
        if (sym != NoSymbol) placements_.try_emplace(sym, Placement{key, level.shift, level.level3});
      }
    }
  }
}

void X11Keyboard::Refresh() {
  stale_ = false;
  placements_.clear();
  XkbDescPtr desc = XkbGetMap(dpy_, XkbAllClientInfoMask, XkbUseCoreKbd);
  if (!desc) {
    xkb_.reset();
    return;
  }
  XkbGetNames(dpy_, XkbKeyNamesMask | XkbSymbolsNameMask, desc);
  xkb_.reset(desc);

  keyByName_.clear();
  if (desc->names && desc->names->keys) {
    for (int k = desc->min_key_code; k <= desc->max_key_code; ++k) {
      const char* raw = desc->names->keys[k].name;
      std::string name(raw, strnlen(raw, XkbKeyNameLength));
      if (!name.empty()) keyByName_.try_emplace(name, static_cast<KeyCode>(k));
    }
  }

  // Spare keycodes: no symbols and no modifier; the ones still bound by us stay ours, the rest of our
  // bindings were replaced by a new keymap.
  std::vector<KeyCode> spares;
  std::map<KeyCode, KeySym> stillBound;
  for (int k = desc->min_key_code; k <= desc->max_key_code; ++k) {
    const auto key = static_cast<KeyCode>(k);
    const int count = XkbKeyNumSyms(desc, key);
    const KeySym* syms = XkbKeySymsPtr(desc, key);
    const bool empty = std::all_of(syms, syms + count, [](KeySym s) { return s == NoSymbol; });
    const auto it = bound_.find(key);
    if (it != bound_.end() && count > 0 && syms[0] == it->second) {
      stillBound.insert(*it);
    } else if (!empty || desc->map->modmap[key] != 0) {
      continue;
    }
    spares.push_back(key);
  }
  // Keep the least-recently-bound order for the keys we already had.
  std::stable_sort(spares.begin(), spares.end(), [this](KeyCode a, KeyCode b) {
    const auto pa = std::find(spares_.begin(), spares_.end(), a),
               pb = std::find(spares_.begin(), spares_.end(), b);
    return pa < pb;
  });
  spares_ = std::move(spares);
  bound_ = std::move(stillBound);

  // The modifier keys typing needs: Shift, and the layout's AltGr (ISO_Level3_Shift) with its real modifier.
  shiftKey_ = KeyNamed("LFSH");
  level3Key_ = 0;
  level3Mask_ = 0;
  for (int k = desc->min_key_code; k <= desc->max_key_code; ++k) {
    const auto key = static_cast<KeyCode>(k);
    if (XkbKeyNumSyms(desc, key) == 0) continue;
    const KeySym first = XkbKeySymsPtr(desc, key)[0];
    if (first == XK_ISO_Level3_Shift && desc->map->modmap[key] != 0 &&
        (level3Key_ == 0 || KeyNamed("RALT") == key)) {
      level3Key_ = key;
      level3Mask_ = desc->map->modmap[key];
    }
    if (shiftKey_ == 0 && first == XK_Shift_L) shiftKey_ = key;
  }
}

KeySym X11Keyboard::Translate(KeyCode key, unsigned mods) const {
  unsigned consumed = 0;
  KeySym sym = NoSymbol;
  if (!XkbTranslateKeyCode(xkb_.get(), key, XkbBuildCoreState(mods, group_), &consumed, &sym))
    return NoSymbol;
  return sym;
}

std::optional<X11Keyboard::Placement> X11Keyboard::PlacementOf(KeySym sym) const {
  const auto it = placements_.find(sym);
  if (it == placements_.end()) return std::nullopt;
  return it->second;
}

KeyCode X11Keyboard::KeyNamed(const std::string& name) const {
  const auto it = keyByName_.find(name);
  return it == keyByName_.end() ? 0 : it->second;
}

std::uint16_t X11Keyboard::VkOfKeycode(KeyCode key) const {
  const unsigned locks = lockedMods_ & Mod2Mask;  // Caps Lock must not turn a letter key into another one
  const KeySym plain = Translate(key, locks), shifted = Translate(key, locks | ShiftMask);
  for (const KeySym s : {plain, shifted}) {
    if (s >= XK_0 && s <= XK_9) return static_cast<std::uint16_t>(s);
    if (s >= XK_a && s <= XK_z) return static_cast<std::uint16_t>(s - XK_a + 'A');
    if (s >= XK_A && s <= XK_Z) return static_cast<std::uint16_t>(s);
  }
  if (const auto vk = x11keys::VkForKeysym(plain)) return vk;
  if (xkb_->names && xkb_->names->keys) {
    const char* raw = xkb_->names->keys[key].name;
    return x11keys::VkAtPosition(std::string_view(raw, strnlen(raw, XkbKeyNameLength)));
  }
  return 0;
}

KeyCode X11Keyboard::KeycodeOfVk(std::uint16_t vk, bool mayBind) {
  if (!xkb_) return 0;
  const auto meaning = x11keys::MeaningOfVk(vk);
  switch (meaning.kind) {
    case VkKind::kNone:
      return 0;
    case VkKind::kCharacter: {
      // The key producing the character without AltGr; then the US place, for layouts without Latin letters.
      for (const KeySym s : {meaning.keysym, KeySym(x11keys::Sym(vk))}) {
        if (const auto p = PlacementOf(s); p && !p->level3) return p->key;
      }
      if (const KeyCode key = KeyNamed(std::string(meaning.position))) return key;
      return mayBind ? BindSpare(meaning.keysym) : 0;
    }
    case VkKind::kPosition: {
      if (const KeyCode key = KeyNamed(std::string(meaning.position))) return key;
      const auto p = PlacementOf(meaning.keysym);
      return p ? p->key : 0;
    }
    case VkKind::kKeysym: {
      if (const auto p = PlacementOf(meaning.keysym); p && !p->shift && !p->level3) return p->key;
      return mayBind ? BindSpare(meaning.keysym) : 0;
    }
  }
  return 0;
}

KeyCode X11Keyboard::BindSpare(KeySym sym) {
  for (const auto& [key, bound] : bound_) {
    if (bound != sym) continue;
    const auto pos = std::find(spares_.begin(), spares_.end(), key);
    if (pos != spares_.end()) std::rotate(pos, pos + 1, spares_.end());  // now the most recently used
    return key;
  }
  if (spares_.empty()) return 0;
  // The least recently bound spare key; a binding stays until the key is needed for another keysym, so
  // a client that looks the keysym up late (after reading further events) still finds it.
  const KeyCode key = spares_.front();
  std::rotate(spares_.begin(), spares_.begin() + 1, spares_.end());
  std::array<KeySym, 2> syms = {sym, sym};
  XChangeKeyboardMapping(dpy_, key, static_cast<int>(syms.size()), syms.data(), 1);
  bound_[key] = sym;
  return key;
}

X11Keyboard::Stroke X11Keyboard::StrokeFor(const Placement& p) const {
  Stroke s{p.key, {}};
  if (p.shift) s.modifiers.push_back(shiftKey_);
  if (p.level3) s.modifiers.push_back(level3Key_);
  return s;
}

X11Keyboard::Stroke X11Keyboard::PlanTypedKey(std::uint16_t vk) {
  const std::uint8_t c = *typing_;
  const auto wanted = x11keys::KeysymsForCharacter(c);
  const bool altGr = recControl_ && recAlt_;
  if (wanted.empty()) {
    // No character to aim at (a control character): the records mean what they say.
    Stroke s{KeycodeOfVk(vk, true), {}};
    if (recShift_) s.modifiers.push_back(shiftKey_);
    if (recControl_) s.modifiers.push_back(KeycodeOfVk(0x11, false));
    if (recAlt_) s.modifiers.push_back(KeycodeOfVk(0x12, false));
    return s;
  }
  // The records' own choice, when it really produces the character here: Ctrl+Alt as AltGr.
  if (const KeyCode key = vk == 0xFFFF ? KeyCode{0} : KeycodeOfVk(vk, false);
      key != 0 && (!altGr || level3Mask_ != 0) && (!recShift_ || shiftKey_ != 0)) {
    const unsigned mods =
        (lockedMods_ & (LockMask | Mod2Mask)) | (recShift_ ? ShiftMask : 0) | (altGr ? level3Mask_ : 0);
    const KeySym produced = Translate(key, mods);
    if (std::find(wanted.begin(), wanted.end(), produced) != wanted.end())
      return StrokeFor(Placement{key, recShift_, altGr});
  }
  // Otherwise the layout's own way to the character, or a spare key bound to it.
  for (const KeySym sym : wanted) {
    if (const auto p = PlacementOf(sym); p && (!p->shift || shiftKey_ != 0)) return StrokeFor(*p);
  }
  return Stroke{BindSpare(wanted.front()), {}};
}

void X11Keyboard::Fake(KeyCode key, bool down) {
  if (key != 0) XTestFakeKeyEvent(dpy_, key, down ? True : False, CurrentTime);
}

void X11Keyboard::Press(const Stroke& s) {
  for (const KeyCode m : s.modifiers) Fake(m, true);
  Fake(s.key, true);
}

void X11Keyboard::Release(const Stroke& s) {
  Fake(s.key, false);
  for (auto m = s.modifiers.rbegin(); m != s.modifiers.rend(); ++m) Fake(*m, false);
}

void X11Keyboard::SendKey(std::uint16_t vk, bool keyUp) {
  EnsureCurrent(!typing_);
  if (typing_) {
    // Modifier records only select the character's level; they are pressed with its key.
    if (IsVk(vk, {0x10, 0xA0, 0xA1})) {
      recShift_ = !keyUp;
      return;
    }
    if (IsVk(vk, {0x11, 0xA2, 0xA3})) {
      recControl_ = !keyUp;
      return;
    }
    if (IsVk(vk, {0x12, 0xA4, 0xA5})) {
      recAlt_ = !keyUp;
      return;
    }
    if (!keyUp) {
      if (typedStroke_) Release(*typedStroke_);
      typedStroke_ = PlanTypedKey(vk);
      typedVk_ = vk;
      Press(*typedStroke_);
    } else if (typedStroke_ && typedVk_ == vk) {
      Release(*typedStroke_);
      typedStroke_.reset();
    }
    XSync(dpy_, False);
    return;
  }

  if (!keyUp) {
    const KeyCode key = KeycodeOfVk(vk, true);
    if (key == 0) return;
    held_[vk] = key;
    Fake(key, true);
  } else {
    KeyCode key = 0;
    if (const auto it = held_.find(vk); it != held_.end()) {
      key = it->second;
      held_.erase(it);
    } else {
      key = KeycodeOfVk(vk, false);
    }
    if (key == 0) return;
    Fake(key, false);
  }
  XSync(dpy_, False);
}

std::int16_t X11Keyboard::VkKeyScan(std::uint8_t c) {
  EnsureCurrent(true);
  // Control characters are Ctrl with a letter, as Windows answers; the four with keys of their own
  // (Backspace, Tab, Enter, Escape) come from the keymap below.
  if (c >= 0x01 && c <= 0x1A && !IsVk(c, {0x08, 0x09, 0x0A, 0x0D}))
    return static_cast<std::int16_t>(0x0200 | ('A' + c - 1));
  for (const KeySym sym : x11keys::KeysymsForCharacter(c)) {
    const auto p = PlacementOf(sym);
    if (!p) continue;
    const std::uint16_t vk = VkOfKeycode(p->key);
    if (vk == 0) continue;
    int state = (p->shift ? 1 : 0) | (p->level3 ? 6 : 0);
    if (c == 0x0A) state |= 2;  // line feed is Ctrl+Enter
    return static_cast<std::int16_t>((state << 8) | vk);
  }
  return -1;
}

void X11Keyboard::BeginTypedCharacter(std::uint8_t c) {
  typing_ = c;
  recShift_ = recControl_ = recAlt_ = false;
}

void X11Keyboard::EndTypedCharacter() {
  if (typedStroke_) {
    Release(*typedStroke_);
    typedStroke_.reset();
    XSync(dpy_, False);
  }
  typing_.reset();
}

std::string X11Keyboard::LayoutName() {
  EnsureCurrent(true);
  std::string layout, variant;
  const Atom rulesNames = XInternAtom(dpy_, "_XKB_RULES_NAMES", True);
  if (rulesNames != None) {
    // rules, model, layout, variant, options: NUL-separated strings.
    const std::string names = ReadProperty(dpy_, DefaultRootWindow(dpy_), rulesNames, XA_STRING);
    std::vector<std::string> fields;
    for (std::size_t start = 0; start <= names.size() && fields.size() < 5;) {
      const auto end = std::min(names.find('\0', start), names.size());
      fields.push_back(names.substr(start, end - start));
      start = end + 1;
    }
    if (fields.size() >= 3 && !fields[2].empty()) {
      const auto layouts = SplitCommas(fields[2]);
      const auto variants = fields.size() >= 4 ? SplitCommas(fields[3]) : std::vector<std::string>{};
      const std::size_t g = group_ < layouts.size() ? group_ : 0;
      layout = layouts[g];
      variant = g < variants.size() ? variants[g] : "";
    }
  }
  if (layout.empty() && xkb_ && xkb_->names && xkb_->names->symbols != None) {
    if (char* symbols = XGetAtomName(dpy_, xkb_->names->symbols)) {
      std::tie(layout, variant) = LayoutFromSymbolsName(symbols, group_);
      XFree(symbols);
    }
  }
  return x11keys::WindowsLayoutId(layout, variant);
}

std::string X11Keyboard::ForegroundWindowTitle() {
  ErrorTrap trap(dpy_);
  const Atom activeAtom = XInternAtom(dpy_, "_NET_ACTIVE_WINDOW", False);
  const std::string active = ReadProperty(dpy_, DefaultRootWindow(dpy_), activeAtom, XA_WINDOW);
  if (active.size() < sizeof(long)) return {};
  Window window = 0;
  window = static_cast<Window>(*reinterpret_cast<const unsigned long*>(active.data()));
  if (window == None) return {};

  std::string title;
  const Atom netWmName = XInternAtom(dpy_, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(dpy_, "UTF8_STRING", False);
  const std::string utf8Title = ReadProperty(dpy_, window, netWmName, utf8);
  if (!utf8Title.empty()) {
    title = x11keys::Utf8ToWindows1252(utf8Title);
  } else {
    XTextProperty prop{};
    if (XGetWMName(dpy_, window, &prop) && prop.value) {
      char** list = nullptr;
      int count = 0;
      if (Xutf8TextPropertyToTextList(dpy_, &prop, &list, &count) >= Success && list) {
        if (count > 0 && list[0]) title = x11keys::Utf8ToWindows1252(list[0]);
        XFreeStringList(list);
      }
      XFree(prop.value);
    }
  }
  if (trap.Failed()) return {};
  if (title.size() > kMaxTitle) title.resize(kMaxTitle);
  return title;
}

}  // namespace fernpad
