#include "platform/linux/wayland/WaylandKeymap.h"

#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace fernpad::wayland {
namespace {

// The keymap as a client compiles it: keysyms read back by keycode, the modifiers a key sets.
class Compiled {
 public:
  explicit Compiled(const std::string& text)
      : ctx_(xkb_context_new(XKB_CONTEXT_NO_FLAGS), xkb_context_unref),
        map_(xkb_keymap_new_from_string(ctx_.get(), text.c_str(), XKB_KEYMAP_FORMAT_TEXT_V1,
                                        XKB_KEYMAP_COMPILE_NO_FLAGS),
             xkb_keymap_unref) {}
  bool Ok() const { return map_ != nullptr; }
  Sym SymOf(std::uint32_t keycode, xkb_level_index_t level = 0) const {
    const xkb_keysym_t* syms = nullptr;
    return xkb_keymap_key_get_syms_by_level(map_.get(), keycode, 0, level, &syms) == 1 ? syms[0] : 0;
  }
  // The modifier names active while the key is held.
  bool SetsModifier(std::uint32_t keycode, const char* mod) const {
    std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(xkb_state_new(map_.get()), xkb_state_unref);
    xkb_state_update_key(state.get(), keycode, XKB_KEY_DOWN);
    return xkb_state_mod_name_is_active(state.get(), mod, XKB_STATE_MODS_DEPRESSED) == 1;
  }

 private:
  std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> ctx_;
  std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> map_;
};

TEST(WaylandKeymap, VirtualKeysHaveKeysOfTheirOwnAndModifiersAct) {
  WaylandKeymap keymap;
  const Compiled compiled(keymap.Text());
  ASSERT_TRUE(compiled.Ok()) << keymap.Text();
  struct Case {
    std::uint16_t vk;
    Sym sym;
    Sym shifted;           // what Shift gives, as on a US keyboard (0: the key has one level)
    const char* modifier;  // nullptr: none
  } const cases[] = {
      {'A', XKB_KEY_a, XKB_KEY_A, nullptr},
      {'7', XKB_KEY_7, XKB_KEY_ampersand, nullptr},
      {0x0D, XKB_KEY_Return, 0, nullptr},
      {0xBA, XKB_KEY_semicolon, XKB_KEY_colon, nullptr},
      {0x70, XKB_KEY_F1, 0, nullptr},
      {0x10, XKB_KEY_Shift_L, 0, XKB_MOD_NAME_SHIFT},
      {0x11, XKB_KEY_Control_L, 0, XKB_MOD_NAME_CTRL},
      {0x12, XKB_KEY_Alt_L, 0, XKB_MOD_NAME_ALT},
  };
  for (const Case& c : cases) {
    const std::uint32_t keycode = keymap.KeycodeOfVk(c.vk);
    ASSERT_NE(keycode, 0u) << c.vk;
    EXPECT_LE(keycode, WaylandKeymap::kMaxKeycode);
    EXPECT_EQ(compiled.SymOf(keycode), c.sym) << c.vk;
    EXPECT_EQ(compiled.SymOf(keycode, 1), c.shifted) << c.vk;
    if (c.modifier) {
      EXPECT_TRUE(compiled.SetsModifier(keycode, c.modifier)) << c.vk;
    }
  }
  EXPECT_EQ(keymap.KeycodeOfVk(0xFFFF), 0u);
  EXPECT_EQ(keymap.KeycodeOfVk(0x07), 0u);  // undefined code
}

TEST(WaylandKeymap, AnyCharacterGetsAKeyAndTheLeastRecentlyUsedSpareIsReused) {
  WaylandKeymap keymap;
  const auto a = keymap.KeycodeForKeysym(XKB_KEY_a);
  EXPECT_FALSE(a.changed);  // already on the letter's key
  const auto euro = keymap.KeycodeForKeysym(XKB_KEY_EuroSign);
  const auto eacute = keymap.KeycodeForKeysym(XKB_KEY_eacute);
  EXPECT_TRUE(euro.changed);
  EXPECT_FALSE(keymap.KeycodeForKeysym(XKB_KEY_EuroSign).changed);
  const Compiled compiled(keymap.Text());
  ASSERT_TRUE(compiled.Ok());
  EXPECT_EQ(compiled.SymOf(euro.keycode), XKB_KEY_EuroSign);
  EXPECT_EQ(compiled.SymOf(eacute.keycode), XKB_KEY_eacute);

  // Fill every spare: the euro sign, used last of the first two, outlives the e acute.
  for (Sym s = 0x1000100; s < 0x1000100 + WaylandKeymap::kMaxKeycode; ++s) {
    const auto b = keymap.KeycodeForKeysym(s);
    ASSERT_LE(b.keycode, WaylandKeymap::kMaxKeycode);
    if (Compiled(keymap.Text()).SymOf(euro.keycode) != XKB_KEY_EuroSign) break;
  }
  const Compiled after(keymap.Text());
  EXPECT_NE(after.SymOf(eacute.keycode), XKB_KEY_eacute);
  const auto again = keymap.KeycodeForKeysym(XKB_KEY_eacute);
  EXPECT_TRUE(again.changed);
  EXPECT_EQ(Compiled(keymap.Text()).SymOf(again.keycode), XKB_KEY_eacute);
}

TEST(WaylandKeymap, WheelAmountsBecomeStepsTowardsTheUser) {
  struct Case {
    std::int32_t data;
    int steps;
  } const sequence[] = {
      {120, -1},         // a notch away from the user is a negative Wayland step
      {-240, 2},         // two towards
      {60, 0},           // half a notch is kept...
      {60, -1},          // ...and completes with the next half
      {120 * 1000, -7},  // a huge amount is cut (maxSteps 7 here) and the excess dropped
      {-60, 0},
  };
  std::int64_t remainder = 0;
  for (const Case& c : sequence) EXPECT_EQ(WheelSteps(remainder, c.data, 7), c.steps) << c.data;
}

}  // namespace
}  // namespace fernpad::wayland
