// End to end: datagrams to the built program under a private Xvfb, seen through X clients.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "../net/UdpTestSocket.h"
#include "ServerProcess.h"
#include "XEventRecorder.h"
#include "Xvfb.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace fernpad::test {
namespace {

using namespace std::chrono_literals;

using Pointer = PointerLocation;

std::vector<std::uint8_t> Datagram(std::uint8_t code, std::initializer_list<float> floats = {}) {
  std::vector<std::uint8_t> bytes{code};
  for (float f : floats) {
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(bits >> shift));
  }
  return bytes;
}

// Escaped text as the handheld sends it: "%" and two upper-case hexadecimal digits per byte.
std::vector<std::uint8_t> TextDatagram(std::uint8_t code, const std::string& bytes) {
  static const char* const kHex = "0123456789ABCDEF";
  std::vector<std::uint8_t> d{code, static_cast<std::uint8_t>(bytes.size() * 3)};
  for (unsigned char c : bytes)
    d.insert(d.end(),
             {'%', static_cast<std::uint8_t>(kHex[c >> 4]), static_cast<std::uint8_t>(kHex[c & 15])});
  return d;
}

// A free UDP port on loopback for the server to bind (it binds with address reuse, so a race is harmless).
std::uint16_t FreeUdpPort() {
  UdpTestSocket probe;
  return probe.Port();
}

class UdpInputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    xvfb = new Xvfb("1920x1080x24");
    answers = new UdpTestSocket("127.0.0.1");
    udpPort = FreeUdpPort();
    ServerProcess::Options options;
    options.extraArgs = {"--udp-port", std::to_string(udpPort), "--udp-answer-port",
                         std::to_string(answers->Port())};
    server = new ServerProcess(FERNPAD_SERVER_BINARY, xvfb->Display(), options);
  }
  static void TearDownTestSuite() {
    delete server;
    delete answers;
    delete xvfb;
  }
  void Send(const std::vector<std::uint8_t>& bytes) { client.SendTo(udpPort, bytes); }
  // Datagrams are handled in order: once the ping is answered, everything sent before it has been done.
  void Sync() {
    Send(Datagram(8));
    const auto ok = answers->Receive();
    ASSERT_TRUE(ok);
    ASSERT_EQ(ok->bytes, "ok!");
  }
  void Center() { Curl(server->HttpPort(), "/?x:0&y:0&a=a"); }

  UdpTestSocket client{"127.0.0.1"};
  static Xvfb* xvfb;
  static UdpTestSocket* answers;
  static std::uint16_t udpPort;
  static ServerProcess* server;
};
Xvfb* UdpInputTest::xvfb = nullptr;
UdpTestSocket* UdpInputTest::answers = nullptr;
std::uint16_t UdpInputTest::udpPort = 0;
ServerProcess* UdpInputTest::server = nullptr;

TEST_F(UdpInputTest, DiscoveryIsAnsweredOnTheAnswerPort) {
  Send(Datagram(100));
  const auto found = answers->Receive();
  ASSERT_TRUE(found);
  EXPECT_EQ(found->bytes, "QMXServer");
  EXPECT_FALSE(client.Receive(0ms));
}

TEST_F(UdpInputTest, MovesAndJoystickPlaceTheRealPointer) {
  Center();
  Send({0x02, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00, 0x00, 0x00});  // 3 pixels right
  Sync();
  EXPECT_EQ(ReadPointer(xvfb->Display()), (Pointer{963, 540}));
  Send(Datagram(2, {25, -3}));
  Sync();
  EXPECT_EQ(ReadPointer(xvfb->Display()), (Pointer{991, 537}));  // 27.5625 -> 28, -3.3075 -> -3
  Send(Datagram(7, {1.0f, 0, 0}));
  Send(Datagram(7, {0, 1.0f, 0}));
  Send(Datagram(7, {0.1f, -0.1f, 0}));
  Sync();
  EXPECT_EQ(ReadPointer(xvfb->Display()), (Pointer{1015, 497}));
}

TEST_F(UdpInputTest, ButtonsAndWheelArriveAtTheWindow) {
  XEventRecorder window(xvfb->Display(), 0, 0, 1920, 1080);
  Center();
  for (std::uint8_t b : {1, 2, 3}) {
    Send({9, b});
    Send({10, b});
  }
  Send(Datagram(14, {1.0f}));   // towards the user
  Send(Datagram(14, {-2.0f}));  // two notches away
  Sync();
  window.Collect();
  EXPECT_EQ(window.Buttons(), "+1 -1 +3 -3 +2 -2 +5 -5 +4 -4 +4 -4");
  EXPECT_EQ(ReadPointer(xvfb->Display()), (Pointer{960, 540}));
}

TEST_F(UdpInputTest, ATapClicksLeftWhateverTheButton) {
  XEventRecorder window(xvfb->Display(), 0, 0, 1920, 1080);
  Center();
  Send({1, 2});
  Send({3, 2});
  Sync();
  // The click comes from the timer, unless the machine was too slow for a tap (then nothing comes).
  const auto deadline = std::chrono::steady_clock::now() + 2s;
  while (window.Buttons().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
    window.Collect();
  }
  EXPECT_EQ(window.Buttons(), "+1 -1");
}

TEST_F(UdpInputTest, TypedTextAndKeysReachTheFocusedWindow) {
  XEventRecorder window(xvfb->Display(), 0, 0, 1920, 1080);
  Send(TextDatagram(13, " Hello, world!"));  // the first byte is the separator the handheld puts first
  Send(TextDatagram(11, " \x10"));           // Shift down
  Send(TextDatagram(11, " A"));
  Send(TextDatagram(12, " A"));
  Send(TextDatagram(12, " \x10"));  // Shift up
  Sync();
  window.Collect();
  EXPECT_EQ(window.TypedText(), "Hello, world!A");
}

TEST_F(UdpInputTest, ShortAndUnknownDatagramsChangeNothing) {
  XEventRecorder window(xvfb->Display(), 0, 0, 1920, 1080);
  Center();
  Send({2, 0, 0, 0x40, 0x40, 0, 0, 0});  // one byte short of a move
  Send({9});
  Send({14, 0, 0, 0x80});
  Send({13, 9, '%', '4', '1'});
  Send({42, 1, 1, 1, 1, 1, 1, 1, 1});
  Send({});
  Sync();
  window.Collect();
  EXPECT_EQ(window.Buttons(), "");
  EXPECT_EQ(window.TypedText(), "");
  EXPECT_EQ(ReadPointer(xvfb->Display()), (Pointer{960, 540}));
}

// Whether a key with this keysym is held on the X server.
bool KeyHeld(const std::string& display, KeySym sym) {
  Display* dpy = XOpenDisplay(display.c_str());
  if (!dpy) throw std::runtime_error("cannot open " + display);
  char keys[32];
  XQueryKeymap(dpy, keys);
  const KeyCode code = XKeysymToKeycode(dpy, sym);
  XCloseDisplay(dpy);
  return (keys[code / 8] >> (code % 8)) & 1;
}

TEST(UdpQuestion, AnAllowedHandheldsKeyReleaseIsNotLostWhileTheQuestionIsOpen) {
  Xvfb xvfb("1024x768x24");
  UdpTestSocket answers("127.0.0.1");
  const std::uint16_t udpPort = FreeUdpPort();
  ServerProcess::Options options;
  options.headless = false;  // the question stays on screen until somebody answers it
  options.extraArgs = {"--udp-port", std::to_string(udpPort), "--udp-answer-port",
                       std::to_string(answers.Port())};
  ServerProcess server(FERNPAD_SERVER_BINARY, xvfb.Display(), options);
  UdpTestSocket handheld("127.0.0.1");
  UdpTestSocket stranger("127.0.0.9");
  auto sync = [&] {
    handheld.SendTo(udpPort, Datagram(8));
    const auto ok = answers.Receive();
    return ok && ok->bytes == "ok!";
  };

  handheld.SendTo(udpPort, TextDatagram(11, " \x10"));  // Shift down
  ASSERT_TRUE(sync());
  ASSERT_TRUE(KeyHeld(xvfb.Display(), XK_Shift_L));
  stranger.SendTo(udpPort, Datagram(100));
  bool asked = false;
  for (int i = 0; i < 200 && !asked; ++i) {
    asked = RunWithDisplay(xvfb.Display(), "xwininfo -root -tree").find("\"Security question\"") !=
            std::string::npos;
    if (!asked) std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(asked);
  handheld.SendTo(udpPort, TextDatagram(12, " \x10"));  // Shift up, while the question is open
  EXPECT_TRUE(sync());
  EXPECT_FALSE(KeyHeld(xvfb.Display(), XK_Shift_L));
  EXPECT_EQ(server.Stop(), 0);  // with the question still open
}

}  // namespace
}  // namespace fernpad::test
