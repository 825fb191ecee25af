#pragma once

#include <atomic>
#include <cstdint>

#include "core/Geometry.h"
#include "platform/Platform.h"

namespace fernpad::input {

// The press and release flags of one mouse button; {0, 0} for a button byte the handheld does not define.
struct ButtonFlags {
  std::uint32_t down = 0;
  std::uint32_t up = 0;
  friend bool operator==(const ButtonFlags&, const ButtonFlags&) = default;
};
inline constexpr ButtonFlags kLeftButton{mouse::kLeftDown, mouse::kLeftUp};
inline constexpr ButtonFlags kRightButton{mouse::kRightDown, mouse::kRightUp};
inline constexpr ButtonFlags kMiddleButton{mouse::kMiddleDown, mouse::kMiddleUp};

// The only way the program reads and sets the cursor.
class TCursorPos {
 public:
  explicit TCursorPos(Platform& platform) : platform_(platform) {}

  // Reads the cursor into p; on failure p keeps its value. Returns whether the read succeeded.
  bool GetPos(Point& p) { return platform_.GetCursorPos(p); }
  bool SetPos(Point p) { return platform_.SetCursorPos(p); }
  // Moves the cursor relative to where it is, without reading it where the system can do that.
  bool MoveBy(int dx, int dy) { return platform_.MoveCursorBy(dx, dy); }

  // The "cursor jumps to the upper left corner" box, passed on at every save. The cursor services here
  // have a single coordinate system, so nothing consults it; it is kept for the settings round trip.
  void SetJumpFix(bool on) { jumpFix_.store(on); }
  bool JumpFix() const { return jumpFix_.load(); }

 private:
  Platform& platform_;
  std::atomic<bool> jumpFix_{true};
};

// Scales a relative move by 1.05 for each step i in 1..20 whose threshold 10*i/acceleration the larger of
// |dx| and |dy| exceeds, as single-precision values computed through extended precision.
struct Delta {
  float dx = 0;
  float dy = 0;
};
Delta AccelerateDelta(float dx, float dy, int acceleration);

// The same steps with the thresholds compared against (cx, cy) while (vx, vy) are scaled: the joystick
// compares its deflections and scales its velocity.
Delta AccelerateWithThresholds(float cx, float cy, float vx, float vy, int acceleration);

// Sends one mouse record.
inline void SendMouseFlags(Platform& platform, std::uint32_t flags, std::int32_t mouseData = 0) {
  platform.SendMouseInput(flags, mouseData);
}

}  // namespace fernpad::input
