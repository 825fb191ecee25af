#include "discovery/DatagramCommands.h"

#include <gtest/gtest.h>

#include "DatagramBytes.h"
#include "platform/fake/FakePlatform.h"

namespace fernpad::discovery {
namespace {

using namespace std::chrono_literals;
using test::DatagramBytes;
using Rec = FakePlatform::Record;
using input::Clock;

class RecordingUi : public NullUi {
 public:
  void BringMainWindowToFront() override { ++raised; }
  void ShowPointerOverlay(Point topLeft) override { overlays.push_back(topLeft); }
  void HidePointerOverlay() override { ++hidden; }
  std::vector<Point> overlays;
  int raised = 0;
  int hidden = 0;
};

settings::Options WithAcceleration(int p) {
  settings::Options o;
  o.MouseAcceleration = p;
  return o;
}

class DatagramTest : public ::testing::Test {
 protected:
  DatagramTest() {
    platform.SetCursor({500, 400});
    platform.SetScreen({1920, 1080});
    commands.SetClock([this] { return now; });
    http.SetClock([this] { return now; });
  }

  void Send(const std::vector<std::uint8_t>& bytes, const std::string& peer = "10.0.0.7") {
    commands.IdUDPServer1UDPRead(peer, bytes);
  }
  // Nothing at all happened: no record, no cursor change, no key, no answer, no overlay.
  void ExpectNoEffect(const std::string& what) {
    EXPECT_TRUE(platform.Records().empty()) << what;
    EXPECT_EQ(platform.SetCursorCalls(), 0) << what;
    EXPECT_EQ(platform.Cursor(), (Point{500, 400})) << what;
    EXPECT_TRUE(keys.empty()) << what;
    EXPECT_TRUE(answers.empty()) << what;
    EXPECT_TRUE(ui.overlays.empty()) << what;
    EXPECT_EQ(ui.raised, 0) << what;
    EXPECT_FALSE(state.clickTimer.Enabled()) << what;
    EXPECT_EQ(state.taps.State().LastDownTime, Clock::time_point{}) << what;
    EXPECT_EQ(state.taps.State().LastUpTime, Clock::time_point{}) << what;
  }
  // Fires the click timer now, as it would 150 ms after it was enabled.
  void FireClickTimer() {
    std::lock_guard lock(state.lock);
    if (state.clickTimer.Enabled()) state.taps.clickTimerTimer();
  }

  FakePlatform platform;
  RecordingUi ui;
  settings::LiveSettings settings{WithAcceleration(1)};
  input::InputState state{platform, 10s};  // the tests fire the click timer themselves
  Clock::time_point now = Clock::time_point{} + 1h;
  std::vector<std::string> accessChecks;
  bool allowed = true;
  std::vector<std::string> keys;
  std::vector<std::pair<std::string, std::string>> answers;
  input::CommandServices services{
      .checkAccess =
          [this](const std::string& peer) {
            accessChecks.push_back(peer);
            return allowed;
          },
      .sendKeyDown = [this](std::string_view p) { keys.push_back("down " + std::string(p)); },
      .sendKeyUp = [this](std::string_view p) { keys.push_back("up " + std::string(p)); },
      .typeText = [this](std::string_view p) { keys.push_back("type " + std::string(p)); },
      .snapshot = {},
      .updatePointer = {},
  };
  DatagramLink link{
      .answer = [this](const std::string& peer,
                       std::string_view answer) { answers.emplace_back(peer, std::string(answer)); },
  };
  DatagramCommands commands{platform, ui, settings, state, services, link};
  input::CommandHandler http{platform, ui, settings, state, services};
};

// --- the access gate ---

TEST_F(DatagramTest, DiscoveryAndPingAreAnsweredToTheSender) {
  Send(DatagramBytes(100), "192.168.1.20");
  Send(DatagramBytes(8), "192.168.1.21");
  Send(DatagramBytes(100).Raw("trailing"), "192.168.1.22");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"192.168.1.20", "QMXServer"}, {"192.168.1.21", "ok!"}, {"192.168.1.22", "QMXServer"}};
  EXPECT_EQ(answers, expected);
  EXPECT_EQ(answers[0].second.size(), 9u);
  EXPECT_EQ(accessChecks, (std::vector<std::string>{"192.168.1.20", "192.168.1.21", "192.168.1.22"}));
  EXPECT_TRUE(platform.Records().empty());
}

TEST_F(DatagramTest, ARefusedSenderGetsNothing) {
  allowed = false;
  for (const std::vector<std::uint8_t>& d :
       {DatagramBytes(100).Bytes(), DatagramBytes(8).Bytes(), DatagramBytes(9).Byte(1).Bytes(),
        DatagramBytes(2).Float(5).Float(5).Bytes(), DatagramBytes(13).Text("%41").Bytes()})
    Send(d);
  ExpectNoEffect("refused");
  EXPECT_EQ(accessChecks.size(), 5u);
}

TEST_F(DatagramTest, EvenUnknownCodesAndShortDatagramsAreCheckedFirst) {
  // As for any request, an unknown sender is asked about whatever it sent.
  Send(DatagramBytes(42));
  Send(DatagramBytes(2).Byte(0));
  EXPECT_EQ(accessChecks.size(), 2u);
}

// --- mouse codes ---

TEST_F(DatagramTest, RelativeMoveFromTheNineByteExample) {
  Send({0x02, 0x00, 0x00, 0x40, 0x40, 0x00, 0x00, 0x00, 0x00});
  EXPECT_EQ(platform.Cursor(), (Point{503, 400}));
  Send(DatagramBytes(2).Float(25).Float(0));
  EXPECT_EQ(platform.Cursor(), (Point{531, 400}));  // 27.5625 -> 28
  Send(DatagramBytes(2).Float(-7).Float(3));
  EXPECT_EQ(platform.Cursor(), (Point{524, 403}));
  settings.Load(WithAcceleration(5));
  Send(DatagramBytes(2).Float(-7).Float(3));  // three steps: -8.1034, 3.4729
  EXPECT_EQ(platform.Cursor(), (Point{516, 406}));
  EXPECT_TRUE(platform.Records().empty());  // moves set the cursor; they inject nothing
}

TEST_F(DatagramTest, MovesSaturateAtTheEdgeOfTheCoordinateRange) {
  platform.SetCursor({std::numeric_limits<int>::max() - 10, std::numeric_limits<int>::min() + 10});
  Send(DatagramBytes(2).Float(100).Float(-100));
  EXPECT_EQ(platform.Cursor(), (Point{std::numeric_limits<int>::max(), std::numeric_limits<int>::min()}));
}

TEST_F(DatagramTest, JoystickStep) {
  Send(DatagramBytes(7).Float(0.1f).Float(-0.1f).Float(0));
  EXPECT_EQ(platform.Cursor(), (Point{500, 400}));
  Send(DatagramBytes(7).Float(1.0f).Float(0).Float(0));
  EXPECT_EQ(platform.Cursor(), (Point{524, 400}));
  Send(DatagramBytes(7).Float(0).Float(1.0f).Float(0));
  EXPECT_EQ(platform.Cursor(), (Point{524, 360}));
  Send(DatagramBytes(7).Float(-1.0f).Float(-1.0f).Float(123));
  EXPECT_EQ(platform.Cursor(), (Point{500, 400}));
  EXPECT_TRUE(platform.Records().empty());
}

TEST_F(DatagramTest, WheelSendsTheRoundedProduct) {
  Send(DatagramBytes(14).Float(1.0f));
  Send(DatagramBytes(14).Float(0.5f));
  Send(DatagramBytes(14).Float(-3.0f));
  EXPECT_EQ(platform.Records(),
            (std::vector<Rec>{FakePlatform::MouseRec(0x0800, -120), FakePlatform::MouseRec(0x0800, -60),
                              FakePlatform::MouseRec(0x0800, 360)}));
  EXPECT_EQ(platform.SetCursorCalls(), 0);
}

TEST_F(DatagramTest, PlainButtonsByByte) {
  for (std::uint8_t b : {1, 2, 3, 0, 4, 255}) {
    Send(DatagramBytes(9).Byte(b));
    Send(DatagramBytes(10).Byte(b));
  }
  EXPECT_EQ(
      platform.Records(),
      (std::vector<Rec>{FakePlatform::MouseRec(0x0002), FakePlatform::MouseRec(0x0004),
                        FakePlatform::MouseRec(0x0008), FakePlatform::MouseRec(0x0010),
                        FakePlatform::MouseRec(0x0020), FakePlatform::MouseRec(0x0040),
                        // any other byte: the record goes out with no flags at all
                        FakePlatform::MouseRec(0), FakePlatform::MouseRec(0), FakePlatform::MouseRec(0),
                        FakePlatform::MouseRec(0), FakePlatform::MouseRec(0), FakePlatform::MouseRec(0)}));
}

TEST_F(DatagramTest, PlainButtonsLeaveTheTapStateAlone) {
  Send(DatagramBytes(1).Byte(1));
  now += 50ms;
  Send(DatagramBytes(3).Byte(1));
  ASSERT_TRUE(state.clickTimer.Enabled());
  const auto before = state.taps.State();
  now += 20ms;
  Send(DatagramBytes(9).Byte(3));
  Send(DatagramBytes(10).Byte(3));
  EXPECT_TRUE(state.clickTimer.Enabled());  // the pending tap click is not cancelled
  EXPECT_EQ(state.taps.State().LastDownTime, before.LastDownTime);
  EXPECT_EQ(state.taps.State().LastUpTime, before.LastUpTime);
  EXPECT_EQ(platform.Records(),
            (std::vector<Rec>{FakePlatform::MouseRec(0x0020), FakePlatform::MouseRec(0x0040)}));
}

TEST_F(DatagramTest, ATapWithTheRightButtonStillClicksLeft) {
  Send(DatagramBytes(1).Byte(2));
  now += 100ms;
  Send(DatagramBytes(3).Byte(2));
  EXPECT_TRUE(state.clickTimer.Enabled());
  EXPECT_TRUE(platform.Records().empty());  // nothing until the timer fires
  FireClickTimer();
  EXPECT_EQ(platform.Records(),
            (std::vector<Rec>{FakePlatform::MouseRec(0x0002), FakePlatform::MouseRec(0x0004)}));
}

TEST_F(DatagramTest, ADoubleTapDragsWithTheNamedButton) {
  Send(DatagramBytes(1).Byte(2));
  now += 60ms;
  Send(DatagramBytes(3).Byte(2));
  now += 60ms;  // 120 ms after the first press
  Send(DatagramBytes(1).Byte(2));
  EXPECT_FALSE(state.clickTimer.Enabled());  // the pending click is cancelled
  EXPECT_TRUE(state.taps.State().Dragging);
  Send(DatagramBytes(2).Float(40).Float(30));  // dragging moves the pointer as usual
  now += 2s;
  Send(DatagramBytes(3).Byte(2));
  FireClickTimer();
  EXPECT_FALSE(state.taps.State().Dragging);
  EXPECT_EQ(platform.Records(),
            (std::vector<Rec>{FakePlatform::MouseRec(0x0008), FakePlatform::MouseRec(0x0010)}));
  EXPECT_NE(platform.Cursor(), (Point{500, 400}));
}

TEST_F(DatagramTest, ATapNeedsTheCursorToStayPut) {
  Send(DatagramBytes(1).Byte(1));
  Send(DatagramBytes(2).Float(5).Float(0));  // 5 pixels: too far for a tap
  now += 100ms;
  Send(DatagramBytes(3).Byte(1));
  EXPECT_FALSE(state.clickTimer.Enabled());
  EXPECT_EQ(state.taps.State().DownX, 500);
  EXPECT_EQ(state.taps.State().UpX, 505);
}

TEST_F(DatagramTest, APressOverUdpAndAReleaseOverHttpMakeOneTap) {
  Send(DatagramBytes(1).Byte(1));
  now += 100ms;
  http.IdHTTPServer1CommandGet("10.0.0.7", {"x:0", "y:0", "a=u"});
  EXPECT_TRUE(state.clickTimer.Enabled());
  now += 30ms;
  Send(DatagramBytes(1).Byte(3));  // a second press soon after: a middle-button drag
  EXPECT_TRUE(state.taps.State().Dragging);
  http.IdHTTPServer1CommandGet("10.0.0.7", {"x:0", "y:0", "a=u"});  // HTTP releases with the left button
  EXPECT_EQ(platform.Records(),
            (std::vector<Rec>{FakePlatform::MouseRec(0x0020), FakePlatform::MouseRec(0x0004)}));
}

// --- presenter dot ---

TEST_F(DatagramTest, OverlayIsPlacedDirectly) {
  Send(DatagramBytes(5).Float(0.5f).Float(0.5f));
  Send(DatagramBytes(5).Float(0).Float(0));
  platform.SetScreen({1280, 720});
  Send(DatagramBytes(5).Float(0.25f).Float(1.0f));
  EXPECT_EQ(ui.overlays, (std::vector<Point>{{952, 532}, {-8, -8}, {312, 712}}));
  EXPECT_EQ(ui.raised, 3);
  EXPECT_EQ(state.pointer.PointerTouches, 0);  // the pointer state is not changed
  EXPECT_EQ(state.pointer.PointerPos, (Point{}));
  EXPECT_EQ(ui.hidden, 0);
}

// --- keys ---

TEST_F(DatagramTest, KeysGetTheDecodedTextAfterVEquals) {
  Send(DatagramBytes(13).Text("%41"));
  Send(DatagramBytes(13).Text("%41x"));  // the fourth character is ignored
  Send(DatagramBytes(13).Text(""));
  Send(DatagramBytes(13).Text("%4a"));  // a lower-case digit counts as 0
  Send(DatagramBytes(11).Text("%0D%10"));
  Send(DatagramBytes(12).Text("x0Dx10"));
  const std::vector<std::string> expected = {
      "type v=A", "type v=A", "type v=", "type v=\x40", "down v=\x0D\x10", "up v=\x0D\x10"};
  EXPECT_EQ(keys, expected);
}

TEST_F(DatagramTest, KeyTextKeepsEveryByteValue) {
  Send(DatagramBytes(13).Text("%00%FF%80"));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0], std::string("type v=\x00\xFF\x80", 10));
}

// --- what is dropped ---

TEST_F(DatagramTest, ShortDatagramsOfEveryCodeDoNothing) {
  const std::vector<std::vector<std::uint8_t>> complete = {
      DatagramBytes(1).Byte(1),
      DatagramBytes(2).Float(30).Float(30),
      DatagramBytes(3).Byte(1),
      DatagramBytes(5).Float(0.5f).Float(0.5f),
      DatagramBytes(7).Float(1).Float(1).Float(0),
      DatagramBytes(9).Byte(1),
      DatagramBytes(10).Byte(1),
      DatagramBytes(11).Text("%41%42"),
      DatagramBytes(12).Text("%41%42"),
      DatagramBytes(13).Text("%41%42"),
      DatagramBytes(14).Float(1),
  };
  for (const auto& bytes : complete) {
    for (std::size_t length = 1; length < bytes.size(); ++length)
      Send(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)));
  }
  Send({});
  ExpectNoEffect("short");
  // The complete ones act.
  for (const auto& bytes : complete) Send(bytes);
  EXPECT_FALSE(platform.Records().empty());
  EXPECT_EQ(keys.size(), 3u);
  EXPECT_EQ(ui.overlays.size(), 1u);
}

TEST_F(DatagramTest, UnknownCodesDoNothing) {
  for (int code = 0; code < 256; ++code) {
    if (std::find(std::begin(test::kKnownCodes), std::end(test::kKnownCodes), code) !=
        std::end(test::kKnownCodes))
      continue;
    std::vector<std::uint8_t> bytes(20, 0x01);
    bytes[0] = static_cast<std::uint8_t>(code);
    Send(bytes);
  }
  ExpectNoEffect("unknown codes");
}

TEST_F(DatagramTest, ValuesThatDoNotFitDropTheDatagram) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  Send(DatagramBytes(2).Float(nan).Float(1));
  Send(DatagramBytes(2).Float(1).Float(-inf));
  Send(DatagramBytes(2).Float(3e9f).Float(1));  // one component out of range: the other does not move
  Send(DatagramBytes(7).Float(inf).Float(0).Float(0));
  Send(DatagramBytes(7).Float(1).Float(1e9f).Float(0));
  Send(DatagramBytes(14).Float(nan));
  Send(DatagramBytes(14).Float(2e7f));
  Send(DatagramBytes(5).Float(nan).Float(0.5f));
  Send(DatagramBytes(5).Float(0.5f).Float(3e6f));
  ExpectNoEffect("out of range");
  // The next good datagram is handled normally.
  Send(DatagramBytes(14).Float(1));
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::MouseRec(0x0800, -120)}));
}

TEST_F(DatagramTest, AFailingAnswerDoesNotBreakTheNextDatagram) {
  DatagramLink throwing{
      .answer = [](const std::string&, std::string_view) { throw std::runtime_error("send failed"); },
  };
  DatagramCommands failing{platform, ui, settings, state, services, throwing};
  EXPECT_THROW(failing.IdUDPServer1UDPRead("10.0.0.7", DatagramBytes(100).Bytes()), std::runtime_error);
  failing.IdUDPServer1UDPRead("10.0.0.7", DatagramBytes(9).Byte(1).Bytes());
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::MouseRec(0x0002)}));
}

}  // namespace
}  // namespace fernpad::discovery
