#include "input/TapLogic.h"

#include <cstdlib>

namespace fernpad::input {

bool TapLogic::NearLastRelease() const {
  return std::abs(state_.DownX - state_.UpX) < 5 && std::abs(state_.DownY - state_.UpY) < 5;
}

void TapLogic::TouchDown(Point at, ButtonFlags button, Clock::time_point now) {
  state_.DownX = at.x;
  state_.DownY = at.y;
  if (now - state_.LastDownTime < kDragWindow && NearLastRelease()) {
    clickTimer_.Disable();
    state_.Dragging = true;
    SendMouseFlags(platform_, button.down);
  }
  state_.LastDownTime = now;
}

void TapLogic::TouchUp(Point at, ButtonFlags button, Clock::time_point now) {
  state_.LastUpTime = now;
  state_.UpX = at.x;
  state_.UpY = at.y;
  if (state_.Dragging) {
    state_.Dragging = false;
    SendMouseFlags(platform_, button.up);
    return;
  }
  if (state_.LastUpTime - state_.LastDownTime < kTapWindow && NearLastRelease()) clickTimer_.Enable();
}

void TapLogic::clickTimerTimer() {
  clickTimer_.Disable();
  SendMouseFlags(platform_, mouse::kLeftDown);
  SendMouseFlags(platform_, mouse::kLeftUp);
}

}  // namespace fernpad::input
