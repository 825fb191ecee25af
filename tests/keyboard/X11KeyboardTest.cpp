// gtest first: Xlib defines None and Bool as macros.
#include <gtest/gtest.h>

#include "platform/linux/X11Keyboard.h"

#include <X11/XF86keysym.h>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <memory>
#include <string>

#include "X11KeyboardPlatform.h"
#include "XEventRecorder.h"
#include "Xvfb.h"
#include "input/Keyboard.h"

namespace fernpad {
namespace {

std::string PrintableAscii() {
  std::string s;
  for (int c = 0x20; c < 0x7F; ++c) s += static_cast<char>(c);
  return s;
}

// What a keysym means as a Windows-1252 character, independently of the code under test.
std::string CharacterOf(KeySym sym) {
  if ((sym >= 0x20 && sym <= 0x7E) || (sym >= 0xA0 && sym <= 0xFF))
    return std::string(1, static_cast<char>(sym));
  if (sym == XK_EuroSign || sym == 0x10020AC) return "\x80";
  if (sym == 0xAAA || sym == 0x1002013) return "\x96";  // XK_endash or its Unicode form
  if (sym == XK_Return) return "\n";
  if (sym == XK_BackSpace) return "\b";
  char buf[32];
  std::snprintf(buf, sizeof buf, "<%lx>", sym);
  return buf;
}

struct DisplayClose {
  void operator()(Display* d) const { XCloseDisplay(d); }
};

class X11KeyboardTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { xvfb_ = std::make_unique<test::Xvfb>("1024x768x24"); }
  static void TearDownTestSuite() { xvfb_.reset(); }

  void TearDown() override { Stop(); }

  void SetLayout(const std::string& args) {
    int status = -1;
    test::RunWithDisplay(xvfb_->Display(), "setxkbmap " + args, &status);
    ASSERT_EQ(status, 0) << "setxkbmap " << args;
  }

  // A layout, a focused window recording what arrives, and the keyboard typing into it.
  void Start(const std::string& layoutArgs, int countryCode) {
    SetLayout(layoutArgs);
    recorder_ = std::make_unique<test::XEventRecorder>(xvfb_->Display(), 0, 0, 400, 300);
    dpy_.reset(XOpenDisplay(xvfb_->Display().c_str()));
    ASSERT_NE(dpy_, nullptr);
    x11_ = std::make_unique<X11Keyboard>(dpy_.get());
    platform_ = std::make_unique<test::X11KeyboardPlatform>(*x11_);
    keyboard_ = std::make_unique<Keyboard>(*platform_, ui_, x11_->LayoutName(), countryCode);
  }

  void Stop() {
    keyboard_.reset();
    platform_.reset();
    x11_.reset();
    dpy_.reset();
    recorder_.reset();
  }

  // The characters that arrived in the window (modifier keys left out), and no modifier left down.
  std::string Arrived() {
    std::string text;
    for (const auto& e : recorder_->Collect()) {
      if (e.type != KeyPress || IsModifierKey(e.keysym)) continue;
      text += CharacterOf(e.keysym);
    }
    XkbStateRec state{};
    XkbGetState(recorder_->XDisplay(), XkbUseCoreKbd, &state);
    EXPECT_EQ(state.mods, 0u) << "modifiers still held";
    return text;
  }

  const test::XEventRecorder::Event* FirstPress(KeySym sym) {
    for (const auto& e : recorder_->Collect())
      if (e.type == KeyPress && e.keysym == sym) return &e;
    return nullptr;
  }

  static std::unique_ptr<test::Xvfb> xvfb_;
  NullUi ui_;
  std::unique_ptr<test::XEventRecorder> recorder_;
  std::unique_ptr<Display, DisplayClose> dpy_;
  std::unique_ptr<X11Keyboard> x11_;
  std::unique_ptr<test::X11KeyboardPlatform> platform_;
  std::unique_ptr<Keyboard> keyboard_;
};
std::unique_ptr<test::Xvfb> X11KeyboardTest::xvfb_;

// ---- Typed text arrives as the characters sent ----

TEST_F(X11KeyboardTest, UsLayoutTypesEveryPrintableAsciiCharacter) {
  Start("us", 1);
  EXPECT_EQ(keyboard_->LayoutName(), "00000409");
  keyboard_->TypeText("v= " + PrintableAscii());
  EXPECT_EQ(Arrived(), PrintableAscii());
  EXPECT_EQ(recorder_->TypedText(), PrintableAscii());
}

TEST_F(X11KeyboardTest, GermanLayoutTypesAsciiAndTheAltGrCharacters) {
  Start("de", 49);
  EXPECT_EQ(keyboard_->LayoutName(), "00000407");
  // '^' and '`' are dead keys on this layout, so they too must come from somewhere else.
  const std::string text = PrintableAscii() + "@{[\\~\x80|}]";
  keyboard_->TypeText("v= " + text);
  EXPECT_EQ(Arrived(), text);
}

TEST_F(X11KeyboardTest, GermanLayoutTypesUmlautsAndShiftedSymbolsTheTableDoesNotName) {
  Start("de", 49);
  const std::string text = "\xE4\xF6\xFC\xDF\xC4\xD6\xDC\xA7\xB0\xB5\xB2";  // äöüßÄÖÜ§°µ²
  keyboard_->TypeText("v= " + text);
  EXPECT_EQ(Arrived(), text);
}

TEST_F(X11KeyboardTest, EuroSignSpelledInHexArrivesAsTheEuroSign) {
  Start("de", 49);
  keyboard_->TypeText("v=  AC");
  EXPECT_EQ(Arrived(), "\x80");
  const auto* euro = FirstPress(XK_EuroSign);
  ASSERT_NE(euro, nullptr);
  EXPECT_FALSE(euro->state & ControlMask) << "AltGr must not arrive as Ctrl+Alt";
}

TEST_F(X11KeyboardTest, BritishLayoutTypesThePoundAndEuroSigns) {
  Start("gb", 44);
  EXPECT_EQ(keyboard_->LayoutName(), "00000809");
  const std::string text = PrintableAscii() + "\xA3\x80";
  keyboard_->TypeText("v= " + text);
  EXPECT_EQ(Arrived(), text);
}

TEST_F(X11KeyboardTest, FinnishLayoutTypesAsciiAndItsAltGrCharacters) {
  Start("fi", 358);
  EXPECT_EQ(keyboard_->LayoutName(), "0000040B");
  const std::string text = PrintableAscii() + "\xA3\x80\xE4\xF6\xC5";
  keyboard_->TypeText("v= " + text);
  EXPECT_EQ(Arrived(), text);
}

TEST_F(X11KeyboardTest, NorwegianLayoutTypesAsciiAndItsAltGrCharacters) {
  Start("no", 47);
  EXPECT_EQ(keyboard_->LayoutName(), "00000414");
  const std::string text = PrintableAscii() + "\xA3\x80\xE6\xF8\xE5\xC6";
  keyboard_->TypeText("v= " + text);
  EXPECT_EQ(Arrived(), text);
}

TEST_F(X11KeyboardTest, FrenchLayoutOutsideTheTablesTypesShiftedDigitsAndAccents) {
  Start("fr", 33);
  EXPECT_EQ(keyboard_->LayoutName(), "0000040C");
  const std::string text = PrintableAscii() + "\xE9\xE8\xE0\xE7\xF9\x80";
  keyboard_->TypeText("v= " + text);
  EXPECT_EQ(Arrived(), text);
}

TEST_F(X11KeyboardTest, CharactersWithoutKeyArriveThroughSpareKeycodes) {
  Start("us", 1);
  const std::string text = "a\xE9\x80\xA3\xF1\x96z\xE9";  // é € £ ñ – (en dash) and é again
  keyboard_->TypeText("v= " + text);
  EXPECT_EQ(Arrived(), text);
}

TEST_F(X11KeyboardTest, SpareKeycodesAreGivenBackWhenTheKeyboardGoes) {
  Start("us", 1);
  keyboard_->TypeText("v= \xE9");
  const auto* press = FirstPress(XK_eacute);
  ASSERT_NE(press, nullptr);
  const auto keycode = static_cast<KeyCode>(press->detail);
  Display* d = recorder_->XDisplay();
  int perKey = 0;
  KeySym* before = XGetKeyboardMapping(d, keycode, 1, &perKey);
  ASSERT_NE(before, nullptr);
  EXPECT_EQ(before[0], static_cast<KeySym>(XK_eacute));
  XFree(before);
  keyboard_.reset();
  platform_.reset();
  x11_.reset();
  KeySym* after = XGetKeyboardMapping(d, keycode, 1, &perKey);
  ASSERT_NE(after, nullptr);
  for (int i = 0; i < perKey; ++i) EXPECT_EQ(after[i], static_cast<KeySym>(NoSymbol));
  XFree(after);
}

TEST_F(X11KeyboardTest, LayoutChangedWhileRunningIsFollowed) {
  Start("us", 1);
  SetLayout("de");
  EXPECT_EQ(x11_->LayoutName(), "00000407");
  Keyboard german(*platform_, ui_, "00000407", 49);
  german.TypeText("v= @zy\xE4");
  EXPECT_EQ(Arrived(), "@zy\xE4");
}

TEST_F(X11KeyboardTest, LayoutOfTheActiveGroupIsReported) {
  Start("-layout us,de", 1);
  EXPECT_EQ(x11_->LayoutName(), "00000409");
  XkbLockGroup(recorder_->XDisplay(), XkbUseCoreKbd, 1);
  XSync(recorder_->XDisplay(), False);
  EXPECT_EQ(x11_->LayoutName(), "00000407");
  Keyboard german(*platform_, ui_, "00000407", 49);
  german.TypeText("v= @z");
  XkbLockGroup(recorder_->XDisplay(), XkbUseCoreKbd, 0);
  XSync(recorder_->XDisplay(), False);
  std::string arrived;
  for (const auto& e : recorder_->Collect())
    if (e.type == KeyPress && !IsModifierKey(e.keysym)) arrived += CharacterOf(e.keysym);
  EXPECT_EQ(arrived, "@z");
}

// ---- Raw keys stay raw ----

TEST_F(X11KeyboardTest, RawShiftAroundALetterGivesTheCapital) {
  Start("us", 1);
  keyboard_->SendKeyDown("v= \x10");
  keyboard_->SendKeyDown("v= A");
  keyboard_->SendKeyUp("v= A");
  keyboard_->SendKeyUp("v= \x10");
  EXPECT_EQ(Arrived(), "A");
}

TEST_F(X11KeyboardTest, RawCtrlAltTArrivesAsControlAndAltNotAsAltGr) {
  Start("de", 49);
  keyboard_->SendKeyDown("v= \x11\x12T");
  keyboard_->SendKeyUp("v= T\x12\x11");
  const auto* t = FirstPress(XK_t);
  ASSERT_NE(t, nullptr) << "T did not arrive as the t key";
  EXPECT_TRUE(t->state & ControlMask);
  EXPECT_TRUE(t->state & Mod1Mask);
  EXPECT_FALSE(t->state & Mod5Mask) << "Ctrl+Alt became AltGr";
  Arrived();  // and nothing stays down
}

TEST_F(X11KeyboardTest, RawLettersFollowTheLayoutsCharacters) {
  Start("de", 49);  // Y and Z swap places on a German keyboard
  keyboard_->SendKeyDown("v= YZ");
  keyboard_->SendKeyUp("v= ZY");
  EXPECT_EQ(Arrived(), "yz");
}

TEST_F(X11KeyboardTest, NavigationAndMediaKeysArriveAsTheirKeysyms) {
  Start("us", 1);
  recorder_->SetTitleAndActivate("Editor");
  keyboard_->SendKeyDown("v= \x25\x2E\x70\xAF\xB3");
  keyboard_->SendKeyUp("v= \xB3\xAF\x70\x2E\x25");
  for (KeySym sym : {KeySym(XK_Left), KeySym(XK_Delete), KeySym(XK_F1), KeySym(XF86XK_AudioRaiseVolume),
                     KeySym(XF86XK_AudioPlay)})
    EXPECT_NE(FirstPress(sym), nullptr) << std::hex << sym;
}

TEST_F(X11KeyboardTest, VolumeUpBecomesCtrlUpWhileThePlayerIsInFront) {
  Start("us", 1);
  recorder_->SetTitleAndActivate("Some song - VLC media player");
  keyboard_->SendKeyDown("v= \xAF");
  keyboard_->SendKeyUp("v= \xAF");
  const auto* up = FirstPress(XK_Up);
  ASSERT_NE(up, nullptr);
  EXPECT_TRUE(up->state & ControlMask);
  EXPECT_EQ(FirstPress(XF86XK_AudioRaiseVolume), nullptr);
  Arrived();
}

// ---- What the layout answers ----

TEST_F(X11KeyboardTest, KeyScanGivesTheKeyAndItsShiftState) {
  Start("de", 49);
  EXPECT_EQ(x11_->VkKeyScan('@'), 0x0651);  // AltGr+Q
  EXPECT_EQ(x11_->VkKeyScan('z'), 0x005A);
  EXPECT_EQ(x11_->VkKeyScan('Y'), 0x0159);
  EXPECT_EQ(x11_->VkKeyScan('7'), 0x0037);
  EXPECT_EQ(x11_->VkKeyScan('/'), 0x0137);   // Shift+7
  EXPECT_EQ(x11_->VkKeyScan(0x80), 0x0645);  // AltGr+E
  EXPECT_EQ(x11_->VkKeyScan('^'), -1);       // only a dead key
  EXPECT_EQ(x11_->VkKeyScan(' '), 0x0020);
  EXPECT_EQ(x11_->VkKeyScan('\b'), 0x0008);
  EXPECT_EQ(x11_->VkKeyScan('\r'), 0x000D);
  EXPECT_EQ(x11_->VkKeyScan('\n'), 0x020D);
  EXPECT_EQ(x11_->VkKeyScan(0x01), 0x0241);
  SetLayout("fr");
  EXPECT_EQ(x11_->VkKeyScan('1'), 0x0131);  // AZERTY: Shift for the digits
  EXPECT_EQ(x11_->VkKeyScan('a'), 0x0041);
  SetLayout("us");
  EXPECT_EQ(x11_->VkKeyScan(0xE9), -1);
  EXPECT_EQ(x11_->VkKeyScan(';'), 0x00BA);
  EXPECT_EQ(x11_->VkKeyScan('"'), 0x01DE);
  EXPECT_EQ(x11_->VkKeyScan('('), 0x0139);  // Shift+9, not the extra "(" key evdev keymaps carry
}

TEST_F(X11KeyboardTest, LayoutNamesOfCommonLayouts) {
  Start("us", 1);
  const std::pair<const char*, const char*> cases[] = {{"us", "00000409"},
                                                       {"gb", "00000809"},
                                                       {"us -variant intl", "00020409"},
                                                       {"de", "00000407"},
                                                       {"fi", "0000040B"},
                                                       {"no", "00000414"},
                                                       {"fr", "0000040C"},
                                                       {"ch", "00000807"},
                                                       {"es", "0000040A"},
                                                       {"it", "00000410"},
                                                       {"de -variant nodeadkeys", "00000407"},
                                                       {"ch -variant fr", "0000100C"},
                                                       {"epo", "00000000"}};
  for (const auto& [args, id] : cases) {
    SetLayout(args);
    EXPECT_EQ(x11_->LayoutName(), id) << args;
  }
}

// ---- The window in front ----

TEST_F(X11KeyboardTest, ForegroundTitleIsTheActiveWindowsNameInWindows1252) {
  Start("us", 1);
  recorder_->SetTitleAndActivate(
      "Caf\xC3\xA9 \xE2\x80\x93 \xE2\x98\x83 VLC media player");  // é, en dash, snowman
  EXPECT_EQ(x11_->ForegroundWindowTitle(), "Caf\xE9 \x96 ? VLC media player");
}

TEST_F(X11KeyboardTest, ForegroundTitleFallsBackToWmName) {
  Start("us", 1);
  Display* d = recorder_->XDisplay();
  XStoreName(d, recorder_->XWindow(), "Caf\xE9");  // Latin-1 STRING
  XDeleteProperty(d, recorder_->XWindow(), XInternAtom(d, "_NET_WM_NAME", False));
  const Window w = recorder_->XWindow();
  XChangeProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_ACTIVE_WINDOW", False), XA_WINDOW, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(&w), 1);
  XSync(d, False);
  EXPECT_EQ(x11_->ForegroundWindowTitle(), "Caf\xE9");
}

TEST_F(X11KeyboardTest, ForegroundTitleIsEmptyWithoutOrWithAVanishedActiveWindow) {
  Start("us", 1);
  Display* d = recorder_->XDisplay();
  XDeleteProperty(d, DefaultRootWindow(d), XInternAtom(d, "_NET_ACTIVE_WINDOW", False));
  XSync(d, False);
  EXPECT_EQ(x11_->ForegroundWindowTitle(), "");
  {
    test::XEventRecorder other(xvfb_->Display(), 10, 10, 50, 50);
    other.SetTitleAndActivate("VLC media player");
    EXPECT_EQ(x11_->ForegroundWindowTitle(), "VLC media player");
  }
  EXPECT_EQ(x11_->ForegroundWindowTitle(), "");
  // The keyboard still works after the error it swallowed.
  recorder_->SetTitleAndActivate("x");
  XSetInputFocus(d, recorder_->XWindow(), RevertToParent, CurrentTime);
  XSync(d, False);
  keyboard_->TypeText("v= ok");
  EXPECT_EQ(Arrived(), "ok");
}

TEST_F(X11KeyboardTest, LongTitlesAreCutAt999Bytes) {
  Start("us", 1);
  recorder_->SetTitleAndActivate(std::string(1500, 'x'));
  EXPECT_EQ(x11_->ForegroundWindowTitle(), std::string(999, 'x'));
}

}  // namespace
}  // namespace fernpad
