#include "input/CommandHandler.h"

#include <gtest/gtest.h>

#include "input/Numbers.h"
#include "platform/fake/FakePlatform.h"

namespace fernpad::input {
namespace {

using namespace std::chrono_literals;
using Rec = FakePlatform::Record;
using Kind = CommandReply::Kind;

class RecordingUi : public NullUi {
 public:
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void BringMainWindowToFront() override { ++raised; }
  std::vector<std::string> messages;
  int raised = 0;
};

settings::Options WithAcceleration(int p) {
  settings::Options o;
  o.MouseAcceleration = p;
  return o;
}

class CommandTest : public ::testing::Test {
 protected:
  CommandTest() {
    platform.SetCursor({500, 400});
    platform.SetScreen({1920, 1080});
  }

  CommandReply Run(std::vector<std::string> params) {
    return handler.IdHTTPServer1CommandGet("10.0.0.7", params);
  }
  CommandReply Run(const std::string& x, const std::string& y, const std::string& a) {
    return Run({x, y, a});
  }

  FakePlatform platform;
  RecordingUi ui;
  settings::LiveSettings settings;
  InputState state{platform, 10s};  // the tests fire the click timer themselves
  std::vector<std::string> typed;
  std::vector<PointerState> pointerUpdates;
  CommandServices services{
      .checkAccess = {},
      .sendKeyDown = [this](std::string_view p) { typed.push_back("down " + std::string(p)); },
      .sendKeyUp = [this](std::string_view p) { typed.push_back("up " + std::string(p)); },
      .typeText = [this](std::string_view p) { typed.push_back("type " + std::string(p)); },
      .snapshot =
          [](int w, int h, int q, bool smooth) {
            return std::to_string(w) + "x" + std::to_string(h) + "@" + std::to_string(q) +
                   (smooth ? "s" : "");
          },
      .updatePointer = [this](const PointerState& p) { pointerUpdates.push_back(p); },
  };
  CommandHandler handler{platform, ui, settings, state, services};
};

TEST_F(CommandTest, RelativeMoveIsAcceleratedAndSetsTheCursor) {
  settings.Load(WithAcceleration(1));
  const auto reply = Run("x:15", "y:-3", "a=m");
  EXPECT_EQ(reply.kind, Kind::Text);
  EXPECT_EQ(reply.body, " ");
  EXPECT_EQ(platform.Cursor(), (Point{516, 397}));  // 15.75 -> 16, -3.15 -> -3
  settings.Load(WithAcceleration(10));
  Run("x:3", "y:4", "a=m");
  EXPECT_EQ(platform.Cursor(), (Point{519, 402}));
  EXPECT_TRUE(platform.Records().empty());
}

TEST_F(CommandTest, AbsoluteMoveIsFromTheScreenCentre) {
  Run("x:0", "y:0", "a=a");
  EXPECT_EQ(platform.Cursor(), (Point{960, 540}));
  Run("x:-100", "y:50", "a=a");
  EXPECT_EQ(platform.Cursor(), (Point{860, 590}));
  Run("x:2.5", "y:3.5", "a=a");  // ties to even
  EXPECT_EQ(platform.Cursor(), (Point{962, 544}));
}

TEST_F(CommandTest, ButtonsSendTheirRecordsAndLeaveTheCursor) {
  const std::pair<const char*, std::vector<Rec>> table[] = {
      {"a=mbl", {FakePlatform::MouseRec(0x2), FakePlatform::MouseRec(0x4)}},
      {"a=mbld", {FakePlatform::MouseRec(0x2)}},
      {"a=mblu", {FakePlatform::MouseRec(0x4)}},
      {"a=mbm", {FakePlatform::MouseRec(0x20), FakePlatform::MouseRec(0x40)}},
      {"a=mbmd", {FakePlatform::MouseRec(0x20)}},
      {"a=mbmu", {FakePlatform::MouseRec(0x40)}},
      {"a=mbr", {FakePlatform::MouseRec(0x8), FakePlatform::MouseRec(0x10)}},
      {"a=mbrd", {FakePlatform::MouseRec(0x8)}},
      {"a=mbru", {FakePlatform::MouseRec(0x10)}},
  };
  for (const auto& [command, records] : table) {
    platform.ClearRecords();
    const int setsBefore = platform.SetCursorCalls();
    const auto reply = Run("x:0", "y:0", command);
    EXPECT_EQ(platform.Records(), records) << command;
    EXPECT_EQ(reply.kind, Kind::Text) << command;
    EXPECT_EQ(platform.SetCursorCalls(), setsBefore) << command;
    EXPECT_EQ(platform.Cursor(), (Point{500, 400})) << command;
  }
}

TEST_F(CommandTest, WheelSendsMinus120PerRoundedNotch) {
  const std::pair<const char*, int> cases[] = {{"y:1", -120}, {"y:-2", 240}, {"y:0.5", 0}, {"y:1.5", -240}};
  for (const auto& [y, amount] : cases) {
    platform.ClearRecords();
    Run("ignored", y, "a=scrollm");  // parameter 1 is not read
    EXPECT_EQ(platform.Records(), std::vector<Rec>{FakePlatform::MouseRec(mouse::kWheel, amount)}) << y;
  }
}

TEST_F(CommandTest, CommandsMatchWholeAndCaseSensitive) {
  for (const char* other : {"a=mblx", "a=M", "a=", "a=m ", "a=mab", "a=SS", "a=ssPad2", "a=ss "}) {
    platform.SetCursor({500, 400});
    const auto reply = Run("x:100", "y:100", other);
    EXPECT_EQ(reply.kind, Kind::Text) << other;
    EXPECT_EQ(reply.body, " ") << other;
    EXPECT_EQ(platform.Cursor(), (Point{500, 400})) << other;
  }
  EXPECT_TRUE(platform.Records().empty());
  EXPECT_TRUE(typed.empty());
}

TEST_F(CommandTest, MissingParametersFailAndMoveNothing) {
  const int sets = platform.SetCursorCalls();
  EXPECT_THROW(Run({"x:5", "a=m"}), std::out_of_range);
  EXPECT_THROW(Run({}), std::out_of_range);
  EXPECT_THROW(Run("x:1", "y:1", "a=k"), std::out_of_range);
  EXPECT_THROW(Run("x:1", "y:1", "a=vkd"), std::out_of_range);
  EXPECT_THROW(Run("x:1", "y:1", "a=vku"), std::out_of_range);
  EXPECT_THROW(Run("x:1", "y:1", "a=chat"), std::out_of_range);
  EXPECT_THROW(Run("x:", "y:1", "a=m"), ConversionError);
  EXPECT_THROW(Run("x:1", "y:zz", "a=a"), ConversionError);
  EXPECT_THROW(Run("x:1e30", "y:0", "a=m"), std::range_error);
  EXPECT_THROW(Run("x:0", "y:1e7", "a=scrollm"), std::range_error);
  EXPECT_EQ(platform.SetCursorCalls(), sets);
  EXPECT_TRUE(platform.Records().empty());
  EXPECT_TRUE(typed.empty());
  try {
    Run({"x:5", "a=m"});
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (2)");
  }
}

TEST_F(CommandTest, KeysReceiveTheWholeFourthParameter) {
  Run({"x:0", "y:0", "a=k", "v= hello"});
  Run({"x:0", "y:0", "a=vkd", "v= \x10"});
  Run({"x:0", "y:0", "a=vku", "v="});
  EXPECT_EQ(typed, (std::vector<std::string>{"type v= hello", "down v= \x10", "up v="}));
}

TEST_F(CommandTest, SnapshotsUseTheirSizeQualityAndTheSmoothBoxAndLeaveTheCursor) {
  const int sets = platform.SetCursorCalls();
  auto reply = Run("x:9", "y:9", "a=ss");
  EXPECT_EQ(reply.kind, Kind::Jpeg);
  EXPECT_EQ(reply.body, "400x300@80");
  settings::Options smooth;
  smooth.SmoothImage = true;
  settings.Load(smooth);
  reply = Run("x:9", "y:9", "a=ssPad");
  EXPECT_EQ(reply.body, "1024x768@90s");
  EXPECT_EQ(platform.SetCursorCalls(), sets);
}

TEST_F(CommandTest, PointerCommandsSetTheStateAndRaiseTheMainWindow) {
  Run("x:0.5", "y:0.25", "a=mabs");
  ASSERT_EQ(pointerUpdates.size(), 1u);
  EXPECT_EQ(pointerUpdates[0].PointerTouches, 0);
  EXPECT_EQ(pointerUpdates[0].PointerPos, (Point{960, 270}));
  Run("x:0.5", "y:0.5", "a=dabs");
  EXPECT_EQ(pointerUpdates.back().PointerTouches, 1);
  EXPECT_EQ(pointerUpdates.back().PointerPos, (Point{960, 540}));
  Run("x:1.5", "y:-0.5", "a=mabs");  // not clamped
  EXPECT_EQ(pointerUpdates.back().PointerPos, (Point{2880, -540}));
  EXPECT_EQ(ui.raised, 3);
  Run("x:0", "y:0", "a=uabs");
  EXPECT_EQ(pointerUpdates.back().PointerTouches, 0);
  EXPECT_EQ(pointerUpdates.back().PointerPos, (Point{2880, -540}));
  EXPECT_EQ(ui.raised, 3);
  EXPECT_EQ(platform.Cursor(), (Point{500, 400}));
}

TEST_F(CommandTest, ChatShowsThePayloadWithoutItsPrefix) {
  Run({"x:0", "y:0", "a=chat", "v=Hello"});
  Run({"x:0", "y:0", "a=chat", "v=" + std::string(1500, 'z')});
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0], "Hello");
  EXPECT_EQ(ui.messages[1], std::string(1000, 'z'));
}

TEST_F(CommandTest, PowerOffIsAskedForAndTheReplyStillGoesOut) {
  platform.SetPowerOffResult(false);
  EXPECT_EQ(Run("x:0", "y:0", "a=winoff").body, " ");
  EXPECT_EQ(platform.PowerOffCalls(), 1);
}

TEST_F(CommandTest, RefusedRequestsGetTheDefaultReplyAndTouchNothing) {
  services.checkAccess = [&](const std::string& peer) { return peer == "10.0.0.8"; };
  CommandHandler gated{platform, ui, settings, state, services};
  const int sets = platform.SetCursorCalls();
  EXPECT_EQ(gated.IdHTTPServer1CommandGet("10.0.0.7", {"x:0", "y:0", "a=mbl"}).kind, Kind::Default);
  EXPECT_EQ(gated.IdHTTPServer1CommandGet("10.0.0.7", {}).kind, Kind::Default);  // refused before parsing
  EXPECT_EQ(platform.SetCursorCalls(), sets);
  EXPECT_TRUE(platform.Records().empty());
  EXPECT_EQ(gated.IdHTTPServer1CommandGet("10.0.0.8", {"x:0", "y:0", "a=mbl"}).kind, Kind::Text);
  EXPECT_EQ(platform.Records().size(), 2u);
}

TEST_F(CommandTest, FailedCursorReadStartsFromTheCorner) {
  platform.SetCursorReadFails(true);
  Run("x:3", "y:4", "a=m");
  EXPECT_EQ(platform.Cursor(), (Point{3, 4}));
}

TEST_F(CommandTest, TapAndDragThroughDownAndUp) {
  Clock::time_point now = Clock::time_point{} + 1h;
  handler.SetClock([&] { return now; });
  Run("x:0", "y:0", "a=d");
  now += 50ms;
  Run("x:0", "y:0", "a=u");
  EXPECT_TRUE(state.clickTimer.Enabled());
  now += 50ms;
  Run("x:0", "y:0", "a=d");
  EXPECT_FALSE(state.clickTimer.Enabled());
  now += 1s;
  Run("x:0", "y:0", "a=u");
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::MouseRec(0x2), FakePlatform::MouseRec(0x4)}));
}

}  // namespace
}  // namespace fernpad::input
