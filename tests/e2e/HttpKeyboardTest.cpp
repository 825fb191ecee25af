#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "input/Keyboard.h"

#include "ServerProcess.h"
#include "XEventRecorder.h"
#include "Xvfb.h"

namespace fernpad::test {
namespace {

// The query form of a typed-text payload: "v= " and the Windows-1252 bytes, every byte percent-encoded.
std::string TextPayload(const std::string& bytes) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string out = "v=%20";
  for (unsigned char c : bytes) {
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

std::string PrintableAscii() {
  std::string all;
  for (int c = 0x20; c < 0x7F; ++c) all += static_cast<char>(c);
  return all;
}

// Starts a server for a keyboard layout (the server reads the layout once, at start) with a focused window.
struct Desk {
  explicit Desk(const std::string& layout) : xvfb("1024x768x24") {
    int status = 1;
    RunWithDisplay(xvfb.Display(), "setxkbmap " + layout, &status);
    if (status != 0) throw std::runtime_error("setxkbmap " + layout + " failed");
    window = std::make_unique<XEventRecorder>(xvfb.Display(), 0, 0, 1024, 768);
    server = std::make_unique<ServerProcess>(FERNPAD_SERVER_BINARY, xvfb.Display());
  }
  std::string Type(const std::string& bytes) {
    window->Clear();
    Curl(server->HttpPort(), "/?x:0&y:0&a=k&" + TextPayload(bytes));
    window->Collect();
    return window->TypedText();
  }
  Xvfb xvfb;
  std::unique_ptr<XEventRecorder> window;
  std::unique_ptr<ServerProcess> server;
};

TEST(HttpKeyboard, UsLayoutTypesEveryPrintableCharacter) {
  Desk desk("us");
  EXPECT_EQ(desk.Type(PrintableAscii()), PrintableAscii());
  EXPECT_EQ(desk.Type(""), "") << "a lone space payload types nothing";

  // Raw keys: Shift held with "a=vkd" around the letter key gives the capital.
  desk.window->Clear();
  Curl(desk.server->HttpPort(), "/?x:0&y:0&a=vkd&v=%20%10");
  Curl(desk.server->HttpPort(), "/?x:0&y:0&a=vkd&v=%20A");
  Curl(desk.server->HttpPort(), "/?x:0&y:0&a=vku&v=%20A");
  Curl(desk.server->HttpPort(), "/?x:0&y:0&a=vku&v=%20%10");
  desk.window->Collect();
  EXPECT_EQ(desk.window->TypedText(), "A");
}

TEST(HttpKeyboard, GermanLayoutTypesAltGrCharactersAndTheEuro) {
  Desk desk("de");
  EXPECT_EQ(desk.Type(PrintableAscii()), PrintableAscii());
  EXPECT_EQ(desk.Type("@{[\\~"), "@{[\\~");
  desk.window->Clear();
  Curl(desk.server->HttpPort(), "/?x:0&y:0&a=k&v=%20%20AC");  // the handheld's euro sign
  bool euro = false;
  for (const auto& e : desk.window->Collect()) euro |= e.type == KeyPress && e.keysym == 0x20AC;  // EuroSign
  EXPECT_TRUE(euro);
}

TEST(HttpKeyboard, BritishLayoutTypesThePound) {
  Desk desk("gb");
  EXPECT_EQ(desk.Type("\xA3"
                      "50 \"quoted\" #1"),
            "\xA3"
            "50 \"quoted\" #1");
}

TEST(HttpKeyboard, VolumeUpBecomesCtrlUpWhileThePlayerIsInFront) {
  Desk desk("us");
  desk.window->SetTitleAndActivate("clip.mp4 - VLC media player");
  desk.window->Clear();
  Curl(desk.server->HttpPort(), "/?x:0&y:0&a=vkd&v=%20%AF");
  Curl(desk.server->HttpPort(), "/?x:0&y:0&a=vku&v=%20%AF");
  const auto& events = desk.window->Collect();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0].keysym, 0xFFE3u);  // Control_L down
  EXPECT_EQ(events[1].keysym, 0xFF52u);  // Up down, with Control held
  EXPECT_TRUE(events[1].state & ControlMask);
  EXPECT_EQ(events[3].type, KeyRelease);
}

}  // namespace
}  // namespace fernpad::test

namespace fernpad::test {
namespace {

class NordicLayouts : public ::testing::TestWithParam<const char*> {};

TEST_P(NordicLayouts, TypeEveryPrintableCharacterAndTheirOwnLetters) {
  Desk desk(GetParam());
  EXPECT_EQ(desk.Type(PrintableAscii()), PrintableAscii());
  EXPECT_EQ(desk.Type("\xE5\xC5\xE4\xF6\xF8\xE6"), "\xE5\xC5\xE4\xF6\xF8\xE6");  // å Å ä ö ø æ
}

INSTANTIATE_TEST_SUITE_P(HttpKeyboard, NordicLayouts, ::testing::Values("fi", "no"));

TEST(HttpKeyboard, ALongTextIsCutAndDoesNotHoldUpOtherClients) {
  Desk desk("us");
  const int port = desk.server->HttpPort();
  auto typing = std::async(std::launch::async, [&] {
    return Curl(port, "/?x:0&y:0&a=k&v=%20" + std::string(Keyboard::kMaxTypedText + 904, 'a'));
  });
  // Once the first characters have arrived, another client's move is served while the text goes on.
  for (int i = 0; i < 500 && desk.window->TypedText().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    desk.window->CollectArrived();
  }
  ASSERT_FALSE(desk.window->TypedText().empty());
  EXPECT_NE(Curl(port, "/?x:0&y:0&a=a").find("200 OK"), std::string::npos);
  EXPECT_EQ(ReadPointer(desk.xvfb.Display()), (PointerLocation{512, 384}));
  EXPECT_EQ(typing.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  EXPECT_NE(typing.get().find("200 OK"), std::string::npos);
  desk.window->Collect();
  EXPECT_EQ(desk.window->TypedText(), std::string(Keyboard::kMaxTypedText, 'a'));
}

}  // namespace
}  // namespace fernpad::test
