#include "input/Keyboard.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/fake/FakePlatform.h"

namespace fernpad {
namespace {

using Rec = FakePlatform::Record;
using Ranges = std::vector<std::pair<int, int>>;

constexpr std::uint16_t kShift = 0x10, kControl = 0x11, kMenu = 0x12;

bool In(const Ranges& ranges, int c) {
  for (auto [a, b] : ranges)
    if (c >= a && c <= b) return true;
  return false;
}

// The record order for one typed character: Shift, then Alt and Ctrl for AltGr, the key, and back.
std::vector<Rec> Typed(std::uint16_t key, bool shift, bool altGr) {
  std::vector<Rec> r;
  if (shift) r.push_back(FakePlatform::KeyDown(kShift));
  if (altGr) {
    r.push_back(FakePlatform::KeyDown(kMenu));
    r.push_back(FakePlatform::KeyDown(kControl));
  }
  r.push_back(FakePlatform::KeyDown(key));
  r.push_back(FakePlatform::KeyUp(key));
  if (altGr) {
    r.push_back(FakePlatform::KeyUp(kControl));
    r.push_back(FakePlatform::KeyUp(kMenu));
  }
  if (shift) r.push_back(FakePlatform::KeyUp(kShift));
  return r;
}

std::vector<Rec> Concat(std::initializer_list<std::vector<Rec>> parts) {
  std::vector<Rec> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

std::string Payload(std::string data) {
  return "v= " + data;
}

class RecordingUi : public NullUi {
 public:
  void SetLastVirtualKey(int code) override { codes.push_back(code); }
  std::vector<int> codes;
};

// An arbitrary but fixed key for every character, so that a record can be traced to its character.
std::uint16_t KeyOf(int c) {
  return static_cast<std::uint16_t>((c * 37 + 11) % 251 + 1);
}

// ---- Rule sets: every character of every rule set, as the handheld's layouts need them ----

struct RuleCase {
  const char* name;
  std::string layout;
  int country;
  Ranges shift;
  Ranges altGr;
};

const Ranges kUsShift = {{0x21, 0x26}, {0x28, 0x2B}, {0x3A, 0x3A}, {0x3C, 0x3C},
                         {0x3E, 0x5A}, {0x5E, 0x5F}, {0x7B, 0x7E}, {0xA3, 0xA3}};
const Ranges kUkShift = {{0x21, 0x22}, {0x24, 0x26}, {0x28, 0x2B}, {0x3A, 0x3A}, {0x3C, 0x3C},
                         {0x3E, 0x5A}, {0x5E, 0x5F}, {0x7B, 0x7E}, {0xA3, 0xA3}};
const Ranges kNordicShift = {{0x21, 0x23}, {0x25, 0x26}, {0x28, 0x2A}, {0x2F, 0x2F},
                             {0x3A, 0x3B}, {0x3D, 0x3F}, {0x41, 0x5A}, {0x5E, 0x5F}};

class RuleSetTest : public ::testing::TestWithParam<RuleCase> {};

TEST_P(RuleSetTest, EveryCharacterGetsTheModifiersOfItsRuleSet) {
  const RuleCase& rc = GetParam();
  FakePlatform platform;
  RecordingUi ui;
  for (int c = 0; c < 256; ++c)
    platform.SetKeyScan(static_cast<std::uint8_t>(c), static_cast<std::int16_t>(KeyOf(c)));
  Keyboard keyboard(platform, ui, rc.layout, rc.country);
  for (int c = 0; c < 256; ++c) {
    platform.ClearRecords();
    keyboard.TypeText(Payload(std::string(1, static_cast<char>(c))));
    EXPECT_EQ(platform.Records(), Typed(KeyOf(c), In(rc.shift, c), In(rc.altGr, c)))
        << rc.name << ": character 0x" << std::hex << c;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, RuleSetTest,
    ::testing::Values(
        RuleCase{"us", "00000409", 49, kUsShift, {}}, RuleCase{"uk", "00000809", 1, kUkShift, {{0x80, 0x80}}},
        RuleCase{"usIntl", "00020409", 49, kUsShift, {{0x80, 0x80}}},
        RuleCase{"german",
                 "00000407",
                 1,
                 {{0x21, 0x22},
                  {0x24, 0x2A},
                  {0x2F, 0x2F},
                  {0x3A, 0x3B},
                  {0x3D, 0x3F},
                  {0x41, 0x5A},
                  {0x5F, 0x5F}},
                 {{0x40, 0x40}, {0x5B, 0x5D}, {0x7B, 0x7E}, {0x80, 0x80}}},
        RuleCase{"finnish",
                 "0000040B",
                 44,
                 kNordicShift,
                 {{0x24, 0x24}, {0x40, 0x40}, {0x5B, 0x5D}, {0x7B, 0x7E}, {0x80, 0x80}, {0xA3, 0xA3}}},
        RuleCase{"norwegian",
                 "00000414",
                 1,
                 kNordicShift,
                 {{0x24, 0x24},
                  {0x40, 0x40},
                  {0x5B, 0x5B},
                  {0x5D, 0x5D},
                  {0x7B, 0x7B},
                  {0x7D, 0x7E},
                  {0x80, 0x80},
                  {0xA3, 0xA3}}},
        RuleCase{"country1",
                 "0000040C",
                 1,
                 {{0x21, 0x26},
                  {0x28, 0x2B},
                  {0x3A, 0x3A},
                  {0x3C, 0x3C},
                  {0x3E, 0x5A},
                  {0x5E, 0x5F},
                  {0x7B, 0x7E}},
                 {}},
        RuleCase{"country2",
                 "00001009",
                 2,
                 {{0x21, 0x26},
                  {0x28, 0x2B},
                  {0x3A, 0x3A},
                  {0x3C, 0x3C},
                  {0x3E, 0x5A},
                  {0x5E, 0x5F},
                  {0x7B, 0x7E}},
                 {}},
        RuleCase{"country44",
                 "00001809",
                 44,
                 {{0x21, 0x22},
                  {0x24, 0x26},
                  {0x28, 0x2B},
                  {0x3A, 0x3A},
                  {0x3C, 0x3C},
                  {0x3E, 0x5A},
                  {0x5E, 0x5F},
                  {0x7B, 0x7E},
                  {0xA3, 0xA3}},
                 {}},
        RuleCase{"country490",
                 "00000807",
                 490,
                 {{0x21, 0x22},
                  {0x24, 0x2A},
                  {0x2F, 0x2F},
                  {0x3A, 0x3B},
                  {0x3D, 0x3F},
                  {0x41, 0x5A},
                  {0x5F, 0x5F}},
                 {{0x40, 0x40}, {0x5B, 0x5D}, {0x7B, 0x7E}, {0x80, 0x80}}},
        RuleCase{"otherCountry", "0000040C", 33, {{0x41, 0x5A}}, {}},
        RuleCase{"germanyWithOtherLayout", "00000807", 49, {{0x41, 0x5A}}, {}}),
    [](const ::testing::TestParamInfo<RuleCase>& p) { return std::string(p.param.name); });

TEST(KeyboardRules, LayoutNameIsMatchedExactlyBeforeTheCountry) {
  FakePlatform platform;
  NullUi ui;
  platform.SetKeyScan('@', 0x51);
  // Lower-case hex digits are another name, not the German layout: the country decides (1: Shift).
  Keyboard lower(platform, ui, "0000040b", 1);
  lower.TypeText(Payload("@"));
  EXPECT_EQ(platform.Records(), Typed(0x51, true, false));
  platform.ClearRecords();
  Keyboard german(platform, ui, "00000407", 1);
  german.TypeText(Payload("@"));
  EXPECT_EQ(platform.Records(), Typed(0x51, false, true));
}

// ---- Characters the rule set does not name: the layout's own shift state ----

TEST(KeyboardRules, UnnamedCharacterWithoutShiftOnTheLayoutIsTypedWithoutShift) {
  // An unlisted layout in Germany: '!' has no Shift in the last-resort set, and here the layout agrees.
  FakePlatform platform;
  NullUi ui;
  platform.SetKeyScan('!', 0x00DF);
  Keyboard keyboard(platform, ui, "0000040C", 49);
  keyboard.TypeText(Payload("!"));
  EXPECT_EQ(platform.Records(), Typed(0xDF, false, false));
}

TEST(KeyboardRules, UnnamedCharacterTakesShiftAndAltGrFromTheLayout) {
  FakePlatform platform;
  NullUi ui;
  platform.SetKeyScan('!', 0x0131);   // Shift+1, as on a Swiss or Austrian layout
  platform.SetKeyScan('1', 0x0131);   // Shift+1 on AZERTY
  platform.SetKeyScan(0xC4, 0x01DE);  // Ä: Shift with the Ä key
  platform.SetKeyScan(0xB5, 0x064D);  // µ: AltGr+M
  platform.SetKeyScan(0xB2, 0x0732);  // ²: Shift+AltGr+2
  Keyboard other(platform, ui, "0000040C", 49);
  other.TypeText(Payload("!1"));
  EXPECT_EQ(platform.Records(), Concat({Typed(0x31, true, false), Typed(0x31, true, false)}));
  platform.ClearRecords();
  Keyboard german(platform, ui, "00000407", 49);
  german.TypeText(Payload("\xC4\xB5\xB2"));
  EXPECT_EQ(platform.Records(),
            Concat({Typed(0xDE, true, false), Typed(0x4D, false, true), Typed(0x32, true, true)}));
}

TEST(KeyboardRules, LoneCtrlOrAltInTheLayoutsAnswerAddsNoModifier) {
  FakePlatform platform;
  NullUi ui;
  platform.SetKeyScan('\n', 0x020D);  // line feed: Ctrl+Enter
  platform.SetKeyScan('x', 0x0458);   // Alt alone is no AltGr
  Keyboard keyboard(platform, ui, "0000040C", 33);
  keyboard.TypeText(Payload("\nx"));
  EXPECT_EQ(platform.Records(), Concat({Typed(0x0D, false, false), Typed(0x58, false, false)}));
}

TEST(KeyboardRules, NamedCharacterFollowsTheTableWhateverTheLayoutSays) {
  FakePlatform platform;
  NullUi ui;
  platform.SetKeyScan('@', 0x0751);  // a layout answer with Shift as well
  platform.SetKeyScan('a', 0x0141);  // a letter the US table types without Shift
  Keyboard german(platform, ui, "00000407", 49);
  german.TypeText(Payload("@"));
  EXPECT_EQ(platform.Records(), Typed(0x51, false, true));
  platform.ClearRecords();
  Keyboard us(platform, ui, "00000409", 1);
  us.TypeText(Payload("A"));
  EXPECT_EQ(platform.Records(), Typed(0xFFFF, true, false));
}

TEST(KeyboardRules, CharacterWithoutKeyIsSentAsFFFFWithItsRuleSetsModifiers) {
  FakePlatform platform;
  NullUi ui;
  Keyboard us(platform, ui, "00000409", 1);
  us.TypeText(Payload("\xA3x"));  // pound sign: Shift on this table; x: no modifier
  EXPECT_EQ(platform.Records(), Concat({Typed(0xFFFF, true, false), Typed(0xFFFF, false, false)}));
  platform.ClearRecords();
  Keyboard german(platform, ui, "00000407", 49);
  german.TypeText(Payload("\x80"));
  EXPECT_EQ(platform.Records(), Typed(0xFFFF, false, true));
}

TEST(KeyboardRules, KeyIsTheLowByteOfTheLayoutsAnswer) {
  FakePlatform platform;
  NullUi ui;
  platform.SetKeyScan('q', 0x0251);
  platform.SetKeyScan('w', 0x0057);
  Keyboard keyboard(platform, ui, "00000409", 1);
  keyboard.TypeText(Payload("qw"));
  EXPECT_EQ(platform.Records(), Concat({Typed(0x51, false, false), Typed(0x57, false, false)}));
}

// ---- Payloads ----

TEST(KeyboardPayload, BareVTypesOneBackspace) {
  FakePlatform platform;
  NullUi ui;
  platform.SetKeyScan(0x08, 0x0008);
  Keyboard keyboard(platform, ui, "00000407", 49);
  keyboard.TypeText("v=");
  EXPECT_EQ(platform.Records(), Typed(0x08, false, false));
}

TEST(KeyboardPayload, HexEuroIsTypedAsTheEuroSign) {
  FakePlatform platform;
  RecordingUi ui;
  platform.SetKeyScan(0x80, 0x0645);
  platform.SetKeyScan('A', 0x0141);
  platform.SetKeyScan('C', 0x0143);
  Keyboard keyboard(platform, ui, "00000407", 49);
  keyboard.TypeText("v=  AC");
  EXPECT_EQ(platform.Records(), Typed(0x45, false, true));
  EXPECT_EQ(ui.codes, std::vector<int>{0x80});
  // Only the whole payload counts: with anything around it the characters are typed as they are.
  platform.ClearRecords();
  keyboard.TypeText("v= AC");
  EXPECT_EQ(platform.Records(), Concat({Typed(0x41, true, false), Typed(0x43, true, false)}));
}

TEST(KeyboardPayload, Hex22TypesNothing) {
  FakePlatform platform;
  RecordingUi ui;
  platform.SetKeyScan('2', 0x0032);
  Keyboard keyboard(platform, ui, "00000407", 49);
  keyboard.TypeText("v=  22");
  EXPECT_TRUE(platform.Records().empty());
  EXPECT_TRUE(ui.codes.empty());
  keyboard.TypeText("v=  222");
  EXPECT_EQ(platform.Records().size(),
            3 * Typed(0x32, false, false).size() + Typed(0xFFFF, false, false).size());
}

TEST(KeyboardPayload, ThreeCharactersOrFewerSendNothing) {
  FakePlatform platform;
  NullUi ui;
  Keyboard keyboard(platform, ui, "00000409", 1);
  for (const char* p : {"v= ", "v=x", "", "v"}) {
    keyboard.TypeText(p);
    keyboard.SendKeyDown(p);
    keyboard.SendKeyUp(p);
  }
  EXPECT_TRUE(platform.Records().empty());
}

TEST(KeyboardPayload, DataStartAtTheFourthCharacterWhateverComesBefore) {
  FakePlatform platform;
  NullUi ui;
  platform.SetKeyScan('a', 0x41);
  platform.SetKeyScan('b', 0x42);
  Keyboard keyboard(platform, ui, "00000409", 1);
  keyboard.TypeText("v=_ab");
  keyboard.TypeText("xyzab");
  const auto ab = Concat({Typed(0x41, false, false), Typed(0x42, false, false)});
  EXPECT_EQ(platform.Records(), Concat({ab, ab}));
}

TEST(KeyboardPayload, LetterATypesShiftOnEveryLayoutAndLowerCaseTypesTheKeyAlone) {
  for (const auto& [layout, country] : std::vector<std::pair<std::string, int>>{
           {"00000409", 1}, {"00000807", 41}, {"00000407", 49}, {"0000040B", 358}, {"00000414", 47}}) {
    FakePlatform platform;
    NullUi ui;
    platform.SetKeyScan('A', 0x0141);
    platform.SetKeyScan('a', 0x0041);
    Keyboard keyboard(platform, ui, layout, country);
    keyboard.TypeText(Payload("Aa"));
    EXPECT_EQ(platform.Records(), Concat({Typed(0x41, true, false), Typed(0x41, false, false)})) << layout;
  }
}

TEST(KeyboardLabel, ShowsTheDecimalCodeOfEachTypedCharacter) {
  FakePlatform platform;
  RecordingUi ui;
  Keyboard keyboard(platform, ui, "00000409", 1);
  keyboard.TypeText(Payload("a\xE9\x80"));
  EXPECT_EQ(ui.codes, (std::vector<int>{97, 0xE9, 0x80}));
  keyboard.SendKeyDown(Payload("b"));  // raw keys are not typed characters
  EXPECT_EQ(ui.codes.size(), 3u);
}

// ---- Raw keys and the player's hotkeys ----

TEST(KeyboardRawKeys, BytesArePressedAndReleasedInOrder) {
  FakePlatform platform;
  NullUi ui;
  Keyboard keyboard(platform, ui, "00000409", 1);
  keyboard.SendKeyDown(Payload("\x11\x12T"));
  keyboard.SendKeyUp(Payload("T\x12\x11"));
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::KeyDown(0x11), FakePlatform::KeyDown(0x12),
                                                  FakePlatform::KeyDown('T'), FakePlatform::KeyUp('T'),
                                                  FakePlatform::KeyUp(0x12), FakePlatform::KeyUp(0x11)}));
}

TEST(KeyboardRawKeys, BareVPressesBackspaceAndLeavesItPressed) {
  FakePlatform platform;
  NullUi ui;
  Keyboard keyboard(platform, ui, "00000409", 1);
  keyboard.SendKeyDown("v=");
  EXPECT_EQ(platform.Records(), std::vector<Rec>{FakePlatform::KeyDown(0x08)});
  keyboard.SendKeyUp("v=");
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::KeyDown(0x08), FakePlatform::KeyUp(0x08)}));
}

struct MediaCase {
  std::uint8_t byte;
  std::uint16_t key;
  bool control;
};

const MediaCase kMedia[] = {{0xAD, 0x4D, false}, {0xAE, 0x28, true},  {0xAF, 0x26, true}, {0xB0, 0x4E, false},
                            {0xB1, 0x50, false}, {0xB2, 0x53, false}, {0xB3, 0x20, false}};

TEST(KeyboardMedia, PlayerInFrontGetsItsHotkeys) {
  for (const char* title : {"song.mp3 - VLC media player", "VLC media player", "x VLC media player y"}) {
    for (const auto& m : kMedia) {
      FakePlatform platform;
      NullUi ui;
      platform.SetForegroundTitle(title);
      Keyboard keyboard(platform, ui, "00000409", 1);
      keyboard.SendKeyDown(Payload(std::string(1, static_cast<char>(m.byte))));
      keyboard.SendKeyUp(Payload(std::string(1, static_cast<char>(m.byte))));
      std::vector<Rec> want;
      if (m.control) want.push_back(FakePlatform::KeyDown(0x11));
      want.push_back(FakePlatform::KeyDown(m.key));
      if (m.control) want.push_back(FakePlatform::KeyUp(0x11));
      want.push_back(FakePlatform::KeyUp(m.key));
      EXPECT_EQ(platform.Records(), want) << title << " byte " << int(m.byte);
    }
  }
}

TEST(KeyboardMedia, OtherWindowsGetTheMediaKeysThemselves) {
  for (const char* title : {"", "vlc media player", "VLC Media Player", "VLC media playe"}) {
    for (const auto& m : kMedia) {
      FakePlatform platform;
      NullUi ui;
      platform.SetForegroundTitle(title);
      Keyboard keyboard(platform, ui, "00000409", 1);
      keyboard.SendKeyDown(Payload(std::string(1, static_cast<char>(m.byte))));
      keyboard.SendKeyUp(Payload(std::string(1, static_cast<char>(m.byte))));
      EXPECT_EQ(platform.Records(),
                (std::vector<Rec>{FakePlatform::KeyDown(m.byte), FakePlatform::KeyUp(m.byte)}))
          << title;
    }
  }
}

TEST(KeyboardMedia, ReleaseMatchesThePressWhenTheWindowChangesInBetween) {
  FakePlatform platform;
  NullUi ui;
  Keyboard keyboard(platform, ui, "00000409", 1);
  platform.SetForegroundTitle("VLC media player");
  keyboard.SendKeyDown(Payload("\xAF"));
  platform.SetForegroundTitle("Editor");
  keyboard.SendKeyUp(Payload("\xAF"));  // Ctrl and Up must not stay down
  platform.SetForegroundTitle("Editor");
  keyboard.SendKeyDown(Payload("\xAE"));
  platform.SetForegroundTitle("VLC media player");
  keyboard.SendKeyUp(Payload("\xAE"));  // the volume key itself must not stay down
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::KeyDown(0x11), FakePlatform::KeyDown(0x26),
                                                  FakePlatform::KeyUp(0x11), FakePlatform::KeyUp(0x26),
                                                  FakePlatform::KeyDown(0xAE), FakePlatform::KeyUp(0xAE)}));
}

TEST(KeyboardMedia, ReleaseWithoutAPressAsksTheWindowAgain) {
  FakePlatform platform;
  NullUi ui;
  Keyboard keyboard(platform, ui, "00000409", 1);
  platform.SetForegroundTitle("VLC media player");
  keyboard.SendKeyUp(Payload("\xAF\xB3"));
  platform.SetForegroundTitle("Editor");
  keyboard.SendKeyUp(Payload("\xAF"));
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::KeyUp(0x11), FakePlatform::KeyUp(0x26),
                                                  FakePlatform::KeyUp(0x20), FakePlatform::KeyUp(0xAF)}));
}

TEST(KeyboardMedia, TypedMediaBytesAreCharactersNotHotkeys) {
  FakePlatform platform;
  NullUi ui;
  platform.SetForegroundTitle("VLC media player");
  platform.SetKeyScan(0xAF, 0x00BB);
  Keyboard keyboard(platform, ui, "00000409", 1);
  keyboard.TypeText(Payload("\xAF"));
  EXPECT_EQ(platform.Records(), Typed(0xBB, false, false));
}

// ---- The typing bracket a platform may ask for ----

class HintedPlatform : public FakePlatform {
 public:
  void BeginTypedCharacter(std::uint8_t c) override { log.push_back("begin " + std::to_string(c)); }
  void EndTypedCharacter() override { log.push_back("end"); }
  void SendKeyInput(std::uint16_t vk, bool up) override {
    FakePlatform::SendKeyInput(vk, up);
    std::string entry(up ? "-" : "+");
    entry += std::to_string(vk);
    log.push_back(entry);
  }
  std::vector<std::string> log;
};

TEST(KeyboardHints, EachTypedCharacterIsBracketedAndRawKeysAreNot) {
  HintedPlatform platform;
  NullUi ui;
  platform.SetKeyScan('@', 0x0651);
  platform.SetKeyScan('a', 0x0041);
  Keyboard keyboard(platform, ui, "00000407", 49);
  keyboard.TypeText(Payload("@a"));
  keyboard.SendKeyDown(Payload("\x11"));
  keyboard.SendKeyUp(Payload("\x11"));
  EXPECT_EQ(platform.log, (std::vector<std::string>{"begin 64", "+18", "+17", "+81", "-81", "-17", "-18",
                                                    "end", "begin 97", "+65", "-65", "end", "+17", "-17"}));
}

}  // namespace
}  // namespace fernpad
