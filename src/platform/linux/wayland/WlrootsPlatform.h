#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/linux/wayland/WaylandPlatformBase.h"

namespace fernpad {

// The Linux backend on a wlroots compositor (sway and kin), over persistent Wayland connections: the
// virtual pointer for moves, buttons and the wheel, the virtual keyboard with the program's own keymap
// (WaylandKeymap.h) for keys and typed text, screencopy for snapshots (on a connection of its own, so input
// never waits for a copy). The first output is the primary monitor. Wayland tells no client where the pointer
// is: the position the logic reads is the one this backend set (it starts at the middle of the output), so a
// person moving the real mouse meanwhile is not seen. Relative moves travel as relative motion, clamped to
// the output as that position is.
class WlrootsPlatform : public wayland::WaylandPlatformBase {
 public:
  // Connects to the Wayland display (a name such as "wayland-1" or a path). Throws std::runtime_error when
  // it cannot, or when the compositor lacks the seat, an output, or the virtual pointer or keyboard.
  explicit WlrootsPlatform(const std::string& displayName);
  ~WlrootsPlatform() override;

  bool GetCursorPos(Point& p) override;
  bool SetCursorPos(Point p) override;
  bool MoveCursorBy(int dx, int dy) override;
  void FlushInput() override;
  void SendMouseInput(std::uint32_t flags, std::int32_t mouseData) override;
  void SendKeyInput(std::uint16_t virtualKey, bool keyUp) override;
  void BeginTypedCharacter(std::uint8_t c) override;
  void EndTypedCharacter() override;
  Size PrimaryScreenSize() override;
  void CaptureScreen(Bitmap24& out) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Whether the compositor on the display offers the virtual pointer and virtual keyboard protocols; false
// when it cannot be reached.
bool WaylandOffersWlrootsInput(const std::string& displayName);

}  // namespace fernpad
