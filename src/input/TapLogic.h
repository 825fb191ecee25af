#pragma once

#include <chrono>
#include <cstdint>

#include "input/ClickTimer.h"
#include "input/Mouse.h"
#include "platform/Platform.h"

namespace fernpad::input {

using Clock = std::chrono::steady_clock;

// The tap-to-click and double-tap-to-drag state shared by every transport. Times come from a monotonic
// clock, so a change of the wall clock can never fake or break a double tap.
struct TapState {
  Clock::time_point LastDownTime{};
  Clock::time_point LastUpTime{};
  std::int32_t DownX = 0;
  std::int32_t DownY = 0;
  std::int32_t UpX = 0;
  std::int32_t UpY = 0;
  bool Dragging = false;
};

// A short tap (down and up within 0.25 s, moved less than 5 pixels on each axis) clicks the left button
// 150 ms after the finger is lifted; a second touch within 0.15 s of the previous touch-down and near where
// the finger was lifted cancels that click and holds the button until the next finger-up.
// Not thread-safe: callers hold the input lock, which is also the click timer's owner lock.
class TapLogic {
 public:
  static constexpr auto kDragWindow = std::chrono::milliseconds(150);
  static constexpr auto kTapWindow = std::chrono::milliseconds(250);
  static constexpr auto kClickDelay = std::chrono::milliseconds(150);

  TapLogic(Platform& platform, OneShotTimer& clickTimer) : platform_(platform), clickTimer_(clickTimer) {}

  void TouchDown(Point at, ButtonFlags button, Clock::time_point now);
  void TouchUp(Point at, ButtonFlags button, Clock::time_point now);

  // The click timer's handler: disables the timer and clicks the left button.
  void clickTimerTimer();

  const TapState& State() const { return state_; }

 private:
  bool NearLastRelease() const;

  Platform& platform_;
  OneShotTimer& clickTimer_;
  TapState state_;
};

}  // namespace fernpad::input
