#include "input/TapLogic.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>

#include "platform/fake/FakePlatform.h"

namespace fernpad::input {
namespace {

using namespace std::chrono_literals;
using Rec = FakePlatform::Record;

class ManualTimer : public OneShotTimer {
 public:
  void Enable() override {
    if (!enabled_) ++starts;
    enabled_ = true;
  }
  void Disable() override { enabled_ = false; }
  bool Enabled() const override { return enabled_; }
  int starts = 0;

 private:
  bool enabled_ = false;
};

class TapLogicTest : public ::testing::Test {
 protected:
  // Fire the timer the way its thread would: only if it is still enabled.
  void FireTimer() {
    if (timer.Enabled()) taps.clickTimerTimer();
  }
  const Clock::time_point t0 = Clock::time_point{} + 1h;
  FakePlatform platform;
  ManualTimer timer;
  TapLogic taps{platform, timer};
};

const std::vector<Rec> kLeftClick = {FakePlatform::MouseRec(mouse::kLeftDown),
                                     FakePlatform::MouseRec(mouse::kLeftUp)};

TEST_F(TapLogicTest, ShortTapClicksWhenTheTimerFires) {
  taps.TouchDown({100, 100}, kLeftButton, t0);
  taps.TouchUp({102, 100}, kLeftButton, t0 + 100ms);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_TRUE(platform.Records().empty());  // nothing until the timer fires
  FireTimer();
  EXPECT_EQ(platform.Records(), kLeftClick);
  EXPECT_FALSE(timer.Enabled());
}

TEST_F(TapLogicTest, SlowOrMovedTapsDoNotClick) {
  taps.TouchDown({100, 100}, kLeftButton, t0);
  taps.TouchUp({100, 100}, kLeftButton, t0 + 300ms);
  EXPECT_FALSE(timer.Enabled());
  taps.TouchDown({100, 100}, kLeftButton, t0 + 1s);
  taps.TouchUp({106, 100}, kLeftButton, t0 + 1s + 100ms);
  EXPECT_FALSE(timer.Enabled());
  taps.TouchDown({100, 100}, kLeftButton, t0 + 2s);
  taps.TouchUp({100, 95}, kLeftButton, t0 + 2s + 100ms);  // 5 pixels is too far
  EXPECT_FALSE(timer.Enabled());
  taps.TouchDown({100, 100}, kLeftButton, t0 + 3s);
  taps.TouchUp({104, 96}, kLeftButton, t0 + 3s + 249ms);  // 4 pixels on both axes, just in time
  EXPECT_TRUE(timer.Enabled());
  EXPECT_TRUE(platform.Records().empty());
}

TEST_F(TapLogicTest, DoubleTapDragsAndTheNextUpReleases) {
  taps.TouchDown({100, 100}, kLeftButton, t0);
  taps.TouchUp({101, 100}, kLeftButton, t0 + 50ms);
  taps.TouchDown({103, 101}, kLeftButton, t0 + 120ms);
  EXPECT_FALSE(timer.Enabled());  // the pending click is dropped
  EXPECT_TRUE(taps.State().Dragging);
  EXPECT_EQ(platform.Records(), std::vector<Rec>{FakePlatform::MouseRec(mouse::kLeftDown)});
  taps.TouchUp({300, 300}, kLeftButton, t0 + 2s);  // far away and late: still the end of the drag
  EXPECT_FALSE(taps.State().Dragging);
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::MouseRec(mouse::kLeftDown),
                                                  FakePlatform::MouseRec(mouse::kLeftUp)}));
  EXPECT_FALSE(timer.Enabled());
}

TEST_F(TapLogicTest, DragUsesTheButtonItWasGiven) {
  taps.TouchDown({10, 10}, kRightButton, t0);
  taps.TouchUp({10, 10}, kRightButton, t0 + 50ms);
  taps.TouchDown({10, 10}, kRightButton, t0 + 100ms);
  taps.TouchUp({10, 10}, kRightButton, t0 + 400ms);
  EXPECT_EQ(platform.Records(), (std::vector<Rec>{FakePlatform::MouseRec(mouse::kRightDown),
                                                  FakePlatform::MouseRec(mouse::kRightUp)}));
}

TEST_F(TapLogicTest, TapWithAnotherButtonStillClicksLeft) {
  taps.TouchDown({10, 10}, kRightButton, t0);
  taps.TouchUp({10, 10}, kRightButton, t0 + 50ms);
  FireTimer();
  EXPECT_EQ(platform.Records(), kLeftClick);
}

TEST_F(TapLogicTest, SecondDownAfterTheDragWindowKeepsThePendingClick) {
  taps.TouchDown({100, 100}, kLeftButton, t0);
  taps.TouchUp({100, 100}, kLeftButton, t0 + 50ms);
  taps.TouchDown({100, 100}, kLeftButton, t0 + 200ms);  // 0.2 s after the first down
  EXPECT_TRUE(timer.Enabled());
  EXPECT_FALSE(taps.State().Dragging);
  EXPECT_EQ(timer.starts, 1);
  FireTimer();
  EXPECT_EQ(platform.Records(), kLeftClick);
}

TEST_F(TapLogicTest, SecondDownFarFromTheReleaseDoesNotDrag) {
  taps.TouchDown({100, 100}, kLeftButton, t0);
  taps.TouchUp({100, 100}, kLeftButton, t0 + 50ms);
  taps.TouchDown({110, 100}, kLeftButton, t0 + 100ms);
  EXPECT_FALSE(taps.State().Dragging);
  EXPECT_TRUE(timer.Enabled());
}

TEST_F(TapLogicTest, AnUpWithoutADownDoesNothing) {
  taps.TouchUp({0, 0}, kLeftButton, t0);
  EXPECT_FALSE(timer.Enabled());
  EXPECT_TRUE(platform.Records().empty());
}

TEST(ThreadTimer, FiresOnceUnderTheOwnerLockAndCanBeCancelled) {
  InputMutex owner;
  std::promise<void> fired;
  int fires = 0;
  ThreadTimer timer(std::chrono::milliseconds(20), owner, [&] {
    // The owner lock is held while the callback runs.
    EXPECT_FALSE(owner.try_lock());
    if (++fires == 1) fired.set_value();
  });
  {
    std::lock_guard lock(owner);
    timer.Enable();
    timer.Enable();  // already enabled: no second fire
  }
  ASSERT_EQ(fired.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_FALSE(timer.Enabled());

  // A disabled timer never fires, however long we wait for the next, enabled one.
  std::promise<void> again;
  InputMutex m2;
  int late = 0;
  ThreadTimer slow(std::chrono::milliseconds(50), m2, [&] {
    if (++late == 1) again.set_value();
  });
  {
    std::lock_guard lock(m2);
    slow.Enable();
    slow.Disable();
  }
  {
    std::lock_guard lock(m2);
    slow.Enable();
  }
  ASSERT_EQ(again.get_future().wait_for(10s), std::future_status::ready);
  {
    std::lock_guard lock(m2);
    EXPECT_EQ(late, 1);
  }
  std::lock_guard lock(owner);
  EXPECT_EQ(fires, 1);
}

}  // namespace
}  // namespace fernpad::input
